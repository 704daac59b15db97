#pragma once
// A settings struct's keys as one table: each row names a field of the struct, the section and
// key it is stored under and, for numbers, how a stored value is checked. Reading fills the
// fields from the file (a missing key keeps the field); writing stores one field, by its type,
// under its row's key. Settings with one section per item (rows of a grid, columns of a file)
// keep their own read and write beside their struct.

#include "core/inifile.h"

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mvx {

enum class SettingCheck {
    Lenient,  // the file's own number rules (blanks allowed, a bad value gives the field's value)
    Strict,   // a number of its kind and nothing else, within [Min, Max]; else refused and named
};

template <class S>
struct SettingRow {
    using Member = std::variant<double S::*, int S::*, long long S::*, bool S::*, std::string S::*>;
    const char* Section;
    const char* Key;
    Member Field;
    SettingCheck Check = SettingCheck::Lenient;
    double Min = 0.0;
    double Max = 0.0;
    // The section's spelling for writes when a menu item always wrote it another way than it
    // is read: a section keeps the spelling it was created with, so the file stays the same.
    const char* WriteSection = nullptr;
};

// One stored key, as the rows above describe it.
struct SettingPlace {
    std::string_view Section;
    std::string_view Key;
    SettingCheck Check;
    double Min;
    double Max;
};

// The text that names a refused value for the user, with the value kept instead.
std::string RefusedSettingText(std::string_view section, std::string_view key, const std::string& kept);

// A missing key keeps `value`; a refused one too, and its text is added to `refused` (if any).
void ReadSettingValue(const IniFile& ini, const SettingPlace& p, double& value, std::vector<std::string>* refused);
void ReadSettingValue(const IniFile& ini, const SettingPlace& p, int& value, std::vector<std::string>* refused);
void ReadSettingValue(const IniFile& ini, const SettingPlace& p, long long& value, std::vector<std::string>* refused);
void ReadSettingValue(const IniFile& ini, const SettingPlace& p, bool& value, std::vector<std::string>* refused);
void ReadSettingValue(const IniFile& ini, const SettingPlace& p, std::string& value, std::vector<std::string>* refused);

bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, double value);
bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, int value);
bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, long long value);
bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, bool value);
bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, const std::string& value);

// Every row, in table order.
template <class S>
void ReadSettingRows(const IniFile& ini, std::span<const SettingRow<S>> rows, S& s,
                     std::vector<std::string>* refused = nullptr)
{
    for (const SettingRow<S>& r : rows) {
        const SettingPlace p{r.Section, r.Key, r.Check, r.Min, r.Max};
        std::visit([&](auto member) { ReadSettingValue(ini, p, s.*member, refused); }, r.Field);
    }
}

// The row of `member`; null when the table has none.
template <class S, class T>
const SettingRow<S>* FindSettingRow(std::span<const SettingRow<S>> rows, T S::*member)
{
    for (const SettingRow<S>& r : rows)
        if (const auto* m = std::get_if<T S::*>(&r.Field); m && *m == member) return &r;
    return nullptr;
}

// Stores the field `member` of `s`; false when it has no row or the file could not be written.
template <class S, class T>
bool WriteSettingRow(IniFile& ini, std::span<const SettingRow<S>> rows, const S& s, T S::*member)
{
    const SettingRow<S>* r = FindSettingRow(rows, member);
    if (!r) return false;
    return WriteSettingValue(ini, r->WriteSection ? r->WriteSection : r->Section, r->Key, s.*member);
}

// Items with a section each (a column of a file, a row of a grid): the rows' keys are read and
// written in the item's `section`, whatever section the rows name.
template <class S>
void ReadSettingRowsIn(const IniFile& ini, std::string_view section, std::span<const SettingRow<S>> rows, S& s,
                       std::vector<std::string>* refused = nullptr)
{
    for (const SettingRow<S>& r : rows) {
        const SettingPlace p{section, r.Key, r.Check, r.Min, r.Max};
        std::visit([&](auto member) { ReadSettingValue(ini, p, s.*member, refused); }, r.Field);
    }
}

// Every row in table order; stops at the first write that fails.
template <class S>
bool WriteSettingRowsIn(IniFile& ini, std::string_view section, std::span<const SettingRow<S>> rows, const S& s)
{
    for (const SettingRow<S>& r : rows)
        if (!std::visit([&](auto member) { return WriteSettingValue(ini, section, r.Key, s.*member); }, r.Field))
            return false;
    return true;
}

// Reads the field `member` of `s` alone.
template <class S, class T>
void ReadSettingRow(const IniFile& ini, std::span<const SettingRow<S>> rows, S& s, T S::*member,
                    std::vector<std::string>* refused = nullptr)
{
    if (const SettingRow<S>* r = FindSettingRow(rows, member))
        ReadSettingValue(ini, SettingPlace{r->Section, r->Key, r->Check, r->Min, r->Max}, s.*member, refused);
}

// Stores `value` under the key of `member`, the struct's other fields aside.
template <class S, class T>
bool StoreSettingRow(IniFile& ini, std::span<const SettingRow<S>> rows, T S::*member, const T& value)
{
    S s;
    s.*member = value;
    return WriteSettingRow(ini, rows, s, member);
}

}  // namespace mvx
