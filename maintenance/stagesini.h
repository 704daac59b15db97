#pragma once
// The controller's stage configuration file "stages.ini" as the stage editor sees it: one
// section per stage, parameter lines "<key> = <value> ;<comment>", and comment lines that name
// the category of the parameters after them. Edits go through the INI class, so every line that
// is not edited keeps its bytes. No Qt.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mvx {
class IniFile;
}

namespace mvx::maint {

struct StageCategory {
    std::string name;
    std::vector<std::string> keys;  // file order, no two equal without regard to case
};

// Category name of a heading line (";" then the name), nullopt for any other line.
std::optional<std::string> StageCategoryOf(std::string_view line);
// Key of a parameter line (blanks removed), nullopt for any other line.
std::optional<std::string> StageKeyOf(std::string_view line);
// The category tree of a file's text: headings equal without regard to case are one category;
// parameters before the first heading are left out.
std::vector<StageCategory> ParseStageCategories(std::string_view text);

// What a grid cell shows for a raw value: the text up to its first ";", "***" when absent.
std::string StageCellText(const std::optional<std::string>& raw);
// The raw value to store when `typed` is entered over `oldRaw`: the old comment is kept.
std::string StageEditedRaw(const std::optional<std::string>& oldRaw, std::string_view typed);

class StagesFile {
public:
    explicit StagesFile(IniFile& ini) : mIni(ini) {}

    std::vector<std::string> stages() const;
    std::optional<std::string> raw(const std::string& stage, const std::string& key) const;
    // Writes the typed text, keeping the comment; false when the file could not be written.
    bool setValue(const std::string& stage, const std::string& key, std::string_view typed);

private:
    IniFile& mIni;
};

// The section "[name]" of a stage database's text, header included, up to the next header;
// the header is matched whole and without regard to case. nullopt when absent.
std::optional<std::string> ExtractStageSection(std::string_view databaseText, std::string_view name);
// Section names of a database's text, file order.
std::vector<std::string> StageSectionNames(std::string_view databaseText);

enum class AppendResult { Appended, NotInDatabase, AlreadyPresent, WriteFailed, ReadFailed };
// Appends the database's section `name` to the stages file at `stagesPath` (written whole through a
// temporary). A stage already in the file is not added twice.
AppendResult AppendStageFromDatabase(const std::string& databasePath, const std::string& stagesPath,
                                     const std::string& name, std::string* error = nullptr);

}  // namespace mvx::maint
