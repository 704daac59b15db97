#include "tclsort.h"

#include "translator/numtext.h"

#include <algorithm>
#include <cctype>

namespace mvx::tclbench {

namespace {
std::string upper(std::string s)
{
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
bool fixedEntry(const RemoteRow& r) { return r.name == "." || r.name == ".."; }
}  // namespace

std::string SortText(const RemoteRow& row, int column)
{
    switch (column) {
    case 0: return row.name;
    case 1: {
        std::string s = num::integer(static_cast<long long>(row.size));
        if (s.size() < 8) s.insert(0, 8 - s.size(), ' ');
        return s;
    }
    case 2: return row.directory ? "Directory" : "File";
    case 3: return row.sortStamp;
    case 4: return row.group;
    case 5: return row.owner;
    case 6: return row.attributes;
    default: return {};
    }
}

void SortRows(std::vector<RemoteRow>& rows, int column, int direction)
{
    const auto firstMovable = std::find_if_not(rows.begin(), rows.end(), fixedEntry);
    std::stable_sort(firstMovable, rows.end(), [&](const RemoteRow& a, const RemoteRow& b) {
        return upper(SortText(a, column)) < upper(SortText(b, column));
    });
    // Descending: the ascending order turned round, equal texts included.
    if (direction < 0) std::reverse(firstMovable, rows.end());
}

bool HeaderClickTimer::Press(std::int64_t nowMs)
{
    // A double click leaves the remembered time alone.
    if (nowMs - mLast < kDoubleClickMs) return true;
    mLast = nowMs;
    return false;
}

int SectionAt(const std::vector<int>& widths, int x)
{
    int start = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        if (x > start && x <= start + widths[i]) return int(i);
        start += widths[i];
    }
    return -1;
}

}  // namespace mvx::tclbench
