#include "tclsortftp.h"

#include "link/remotefiles.h"
#include "translator/numtext.h"

#include <array>
#include <sstream>

namespace mvx::tclbench {

namespace {
std::string two(long long v)
{
    std::string s = num::integer(v);
    return s.size() < 2 ? "0" + s : s;
}
}  // namespace

RemoteRow RowFromFtpEntry(const link::RemoteEntry& entry, int year)
{
    RemoteRow row;
    row.name = entry.name;
    row.size = entry.size;
    row.directory = entry.directory;
    row.attributes = entry.attributes;
    // "Dec 10 12:13" or "Dec 10  2025".
    static const std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::istringstream in(entry.listedDate);
    std::string mon, day, last;
    in >> mon >> day >> last;
    int month = 0;
    for (std::size_t i = 0; i < months.size(); ++i)
        if (mon == months[i]) month = int(i) + 1;
    const auto d = num::parseIntStrict(day);
    if (month == 0 || !d) {
        row.modified = entry.listedDate;
        row.sortStamp = entry.listedDate;
        return row;
    }
    std::string time = "00:00";
    long long y = year;
    if (last.find(':') != std::string::npos) {
        time = last.size() == 4 ? "0" + last : last;
    } else if (auto yy = num::parseIntStrict(last)) {
        y = *yy;
    }
    row.modified = two(month) + "/" + two(*d) + "/" + num::integer(y) + " " + time;
    row.sortStamp = num::integer(y) + "/" + two(month) + "/" + two(*d) + " " + time;
    return row;
}

}  // namespace mvx::tclbench
