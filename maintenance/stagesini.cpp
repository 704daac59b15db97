#include "stagesini.h"

#include "core/fileutil.h"
#include "core/inifile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace mvx::maint {

namespace {

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out.push_back(line);
        start = end + 1;
    }
    return out;
}

// "[name]" header: the name, else nullopt.
std::optional<std::string_view> headerName(std::string_view line)
{
    const std::string_view t = trimmed(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    const std::size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trimmed(t.substr(1, close - 1));
}

bool readWhole(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return !in.bad();
}

}  // namespace

std::optional<std::string> StageCategoryOf(std::string_view line)
{
    if (line.empty() || line.front() != ';' || line.find('=') != std::string_view::npos) return std::nullopt;
    std::string_view t = line.substr(1);
    while (!t.empty() && t.front() == '-') t.remove_prefix(1);
    return std::string(trimmed(t));
}

std::optional<std::string> StageKeyOf(std::string_view line)
{
    if (line.empty() || line.front() == ';') return std::nullopt;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string key;
    for (char c : line.substr(0, eq))
        if (c != ' ' && c != '\t') key += c;
    if (key.empty()) return std::nullopt;
    return key;
}

std::vector<StageCategory> ParseStageCategories(std::string_view text)
{
    std::vector<StageCategory> tree;
    int current = -1;
    for (std::string_view line : lines(text)) {
        if (auto category = StageCategoryOf(line)) {
            auto it = std::find_if(tree.begin(), tree.end(),
                                   [&](const StageCategory& c) { return equalNoCase(c.name, *category); });
            if (it == tree.end()) {
                tree.push_back({*category, {}});
                current = static_cast<int>(tree.size()) - 1;
            } else {
                current = static_cast<int>(it - tree.begin());
            }
            continue;
        }
        if (current < 0) continue;
        if (auto key = StageKeyOf(line)) {
            std::vector<std::string>& keys = tree[current].keys;
            if (std::none_of(keys.begin(), keys.end(), [&](const std::string& k) { return equalNoCase(k, *key); }))
                keys.push_back(*key);
        }
    }
    return tree;
}

std::string StageCellText(const std::optional<std::string>& raw)
{
    if (!raw) return "***";
    return raw->substr(0, raw->find(';'));
}

std::string StageEditedRaw(const std::optional<std::string>& oldRaw, std::string_view typed)
{
    std::string out(typed);
    if (oldRaw) {
        const std::size_t semi = oldRaw->find(';');
        if (semi != std::string::npos) out += " ;" + oldRaw->substr(semi + 1);
    }
    return out;
}

std::vector<std::string> StagesFile::stages() const { return mIni.sections(); }

std::optional<std::string> StagesFile::raw(const std::string& stage, const std::string& key) const
{
    return mIni.read(stage, key);
}

bool StagesFile::setValue(const std::string& stage, const std::string& key, std::string_view typed)
{
    return mIni.writeString(stage, key, StageEditedRaw(raw(stage, key), typed));
}

std::optional<std::string> ExtractStageSection(std::string_view databaseText, std::string_view name)
{
    std::string out;
    bool copying = false, found = false;
    std::size_t start = 0;
    while (start < databaseText.size()) {
        std::size_t end = databaseText.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? databaseText.size() : end + 1;
        const std::string_view line = databaseText.substr(start, next - start);
        if (auto header = headerName(line)) {
            copying = !found && equalNoCase(*header, name);
            found = found || copying;
        }
        if (copying) out.append(line);
        start = next;
    }
    if (!found) return std::nullopt;
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    return out;
}

std::vector<std::string> StageSectionNames(std::string_view databaseText)
{
    std::vector<std::string> names;
    for (std::string_view line : lines(databaseText))
        if (auto header = headerName(line)) names.emplace_back(*header);
    return names;
}

AppendResult AppendStageFromDatabase(const std::string& databasePath, const std::string& stagesPath,
                                     const std::string& name, std::string* error)
{
    std::string database, stages;
    if (!readWhole(databasePath, database)) {
        if (error) *error = databasePath;
        return AppendResult::ReadFailed;
    }
    const std::optional<std::string> section = ExtractStageSection(database, name);
    if (!section) return AppendResult::NotInDatabase;
    readWhole(stagesPath, stages);  // a missing stages file starts empty
    for (const std::string& existing : StageSectionNames(stages))
        if (equalNoCase(existing, name)) return AppendResult::AlreadyPresent;
    // The header must start a line of its own.
    if (!stages.empty() && stages.back() != '\n') stages += "\r\n";
    stages += *section;
    if (!WriteFileAtomic(stagesPath, stages, error)) return AppendResult::WriteFailed;
    return AppendResult::Appended;
}

}  // namespace mvx::maint
