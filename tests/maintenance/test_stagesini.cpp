// The stage configuration file: categories, shown values, edits that keep every other byte, and
// stages appended from the database.
#include "maintenance/stagesini.h"
#include "tests/support/textfile.h"

#include "core/inifile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace mvx;
using namespace mvx::maint;

namespace {

using mvx::test::ReadAll;
void writeAll(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const char* const kStages =
    "[STAGE_A]\r\n"
    "Orphan = 1\r\n"
    ";----- Motor -----\r\n"
    "MaximumVelocity = 20 ; mm/s\r\n"
    "Max Acceleration=80\r\n"
    ";OldKey = 3\r\n"
    "; Travel\r\n"
    "MinimumTarget = -10 ; mm\r\n"
    "\r\n"
    "[STAGE_B]\r\n"
    ";MOTOR -----\r\n"
    "maximumvelocity = 30 ; mm/s\r\n"
    "Current = 1.5\r\n";

TEST(StagesIni, CategoryHeadingsAndKeys)
{
    EXPECT_EQ(StageCategoryOf(";----- Motor -----"), std::optional<std::string>("Motor -----"));
    EXPECT_EQ(StageCategoryOf(";OldKey = 3"), std::nullopt);
    EXPECT_EQ(StageCategoryOf("Key = 3"), std::nullopt);
    EXPECT_EQ(StageKeyOf(" Max Acceleration = 80"), std::optional<std::string>("MaxAcceleration"));
    EXPECT_EQ(StageKeyOf("[STAGE]"), std::nullopt);

    const std::vector<StageCategory> tree = ParseStageCategories(kStages);
    ASSERT_EQ(tree.size(), 2u);  // "MOTOR -----" of the second stage joins "Motor -----"
    EXPECT_EQ(tree[0].name, "Motor -----");
    EXPECT_EQ(tree[0].keys, (std::vector<std::string>{"MaximumVelocity", "MaxAcceleration", "Current"}));
    EXPECT_EQ(tree[1].keys, (std::vector<std::string>{"MinimumTarget"}));

    // Headings equal without regard to case are one category; keys are not repeated.
    const auto merged = ParseStageCategories("; Motor\nA=1\n[S2]\n; MOTOR\na=2\nB=3\n");
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].keys, (std::vector<std::string>{"A", "B"}));
}

TEST(StagesIni, CellTextAndEditedRaw)
{
    EXPECT_EQ(StageCellText(std::string("20 ; mm/s")), "20 ");
    EXPECT_EQ(StageCellText(std::nullopt), "***");
    EXPECT_EQ(StageEditedRaw(std::string("20 ; mm/s"), "25"), "25 ; mm/s");
    EXPECT_EQ(StageEditedRaw(std::string("80"), "90"), "90");
    EXPECT_EQ(StageEditedRaw(std::nullopt, "5"), "5");
}

TEST(StagesIni, EditKeepsEveryOtherLineByteForByte)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("stages.ini").toStdString();
    writeAll(path, kStages);
    IniFile ini(path);
    StagesFile stages(ini);
    EXPECT_EQ(stages.stages(), (std::vector<std::string>{"STAGE_A", "STAGE_B"}));
    ASSERT_TRUE(stages.setValue("STAGE_A", "MaximumVelocity", "25"));
    std::string expected = kStages;
    // The key keeps its spelling; the value after "=" becomes the typed text and the old comment.
    expected.replace(expected.find("MaximumVelocity = 20 ; mm/s"), 27, "MaximumVelocity =25 ; mm/s");
    EXPECT_EQ(ReadAll(path), expected);

    // An absent parameter is created in its stage's section.
    ASSERT_TRUE(stages.setValue("STAGE_B", "MinimumTarget", "-5"));
    EXPECT_EQ(stages.raw("STAGE_B", "MinimumTarget"), std::optional<std::string>("-5"));
    EXPECT_EQ(stages.raw("STAGE_A", "MinimumTarget"), std::optional<std::string>("-10 ; mm"));
}

TEST(StagesIni, AppendFromDatabaseTakesTheWholeSectionOnly)
{
    QTemporaryDir dir;
    const std::string db = dir.filePath("StageDataBase.txt").toStdString();
    const std::string st = dir.filePath("stages.ini").toStdString();
    writeAll(db,
             "[LS100]\r\nMaximumVelocity = 10\r\n; LS100 is the short one\r\n"
             "[LS10]\r\nMaximumVelocity = 5 ; mm/s\r\nComment = see LS100 too\r\n"
             "[RV80]\r\nMaximumVelocity = 40\r\n");
    EXPECT_EQ(StageSectionNames(ReadAll(db)), (std::vector<std::string>{"LS100", "LS10", "RV80"}));

    writeAll(st, "[STAGE_A]\r\nX=1");  // no line end at the end
    EXPECT_EQ(AppendStageFromDatabase(db, st, "LS10"), AppendResult::Appended);
    EXPECT_EQ(ReadAll(st), "[STAGE_A]\r\nX=1\r\n[LS10]\r\nMaximumVelocity = 5 ; mm/s\r\nComment = see LS100 too\r\n");
    EXPECT_EQ(AppendStageFromDatabase(db, st, "ls10"), AppendResult::AlreadyPresent);
    EXPECT_EQ(AppendStageFromDatabase(db, st, "LS1"), AppendResult::NotInDatabase);
    EXPECT_EQ(AppendStageFromDatabase(db, st, "RV80"), AppendResult::Appended);
    EXPECT_NE(ReadAll(st).find("[RV80]\r\nMaximumVelocity = 40\r\n"), std::string::npos);
    EXPECT_EQ(AppendStageFromDatabase(dir.filePath("none.txt").toStdString(), st, "RV80"), AppendResult::ReadFailed);
}

}  // namespace
