#pragma once
// A row of the remote file list made from an FTP listing entry.

#include "tclsort.h"

namespace mvx::link {
struct FtpEntry;
}

namespace mvx::tclbench {

// `year` is the year given to dates listed with a time instead of a year.
RemoteRow RowFromFtpEntry(const link::FtpEntry& entry, int year);

}  // namespace mvx::tclbench
