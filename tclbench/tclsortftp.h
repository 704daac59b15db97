#pragma once
// A row of the remote file list made from an entry of an FTP listing.

#include "tclsort.h"

namespace mvx::link {
struct RemoteEntry;
}

namespace mvx::tclbench {

// `year` is the year given to dates listed with a time instead of a year.
RemoteRow RowFromFtpEntry(const link::RemoteEntry& entry, int year);

}  // namespace mvx::tclbench
