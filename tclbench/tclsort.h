#pragma once
// The rows of the remote file list, their sort by a column and the header double click.

#include <cstdint>
#include <string>
#include <vector>

namespace mvx::tclbench {

struct RemoteRow {
    std::string name;
    std::uint64_t size = 0;
    bool directory = false;
    std::string modified;     // "mm/dd/yyyy hh:mm" as shown
    std::string sortStamp;    // "yyyy/mm/dd hh:mm", the sort text of the date
    std::string group;
    std::string owner;
    std::string attributes;
};

inline constexpr int kListColumns = 7;
inline constexpr int kDoubleClickMs = 250;

// The text a row sorts by in a column (0 name ... 6 attributes).
std::string SortText(const RemoteRow& row, int column);

// Sorts by a column in the direction `direction` (+1 / -1) without regard to case; equal texts
// keep listing order
// (turned round with the rest when descending). Rows named "." and ".." stay first where they are.
void SortRows(std::vector<RemoteRow>& rows, int column, int direction);

// Header presses: a press less than kDoubleClickMs after the last single press is a double click.
class HeaderClickTimer {
public:
    bool Press(std::int64_t nowMs);

private:
    std::int64_t mLast = -1000000;
};

// The section under x for the widths from the left edge: x in (start, start + width]; -1 when none.
int SectionAt(const std::vector<int>& widths, int x);

}  // namespace mvx::tclbench
