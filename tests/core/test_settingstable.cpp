// A settings struct's key table: reading by row with its check, writing one field by its type.
#include "core/settingstable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace mvx;

namespace {

struct Sample {
    double Speed = 10.0;
    int Digits = 4;
    long long Colour = 0xFF0000;
    bool On = false;
    std::string Name = "none";
    double Loose = 1.0;
};

const SettingRow<Sample> kRows[] = {
    {"SPEED", "WORKING", &Sample::Speed, SettingCheck::Strict, 1e-6, 1e9},
    {"PRECISION", "NB DIGIT", &Sample::Digits, SettingCheck::Strict, 0, 15},
    {"COLOR", "BACKGROUND", &Sample::Colour},
    {"DRAWING", "ON", &Sample::On},
    {"HELP", "FILE", &Sample::Name},
    {"TCP-IP server", "LOOSE", &Sample::Loose, SettingCheck::Lenient, 0, 0, "TCP-IP SERVER"},
};

class SettingsTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/mvx_table_XXXXXX";
        mDir = mkdtemp(tmpl);
        mPath = mDir + "/t.INI";
    }
    void TearDown() override
    {
        std::remove(mPath.c_str());
        ::rmdir(mDir.c_str());
    }
    void put(const std::string& text) { std::ofstream(mPath, std::ios::binary) << text; }
    std::string file() const
    {
        std::ifstream in(mPath, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string mDir, mPath;
};

TEST_F(SettingsTable, StrictRowsRefuseAndNameBadValuesOthersReadAsTheFileHasThem)
{
    struct Case {
        const char* file;
        double speed;
        int digits;
        std::size_t refused;
    };
    const Case cases[] = {
        {"", 10.0, 4, 0},
        {"[SPEED]\r\nWORKING=2.5\r\n[PRECISION]\r\nNB DIGIT=6\r\n", 2.5, 6, 0},
        {"[SPEED]\r\nWORKING=0\r\n[PRECISION]\r\nNB DIGIT=99\r\n", 10.0, 4, 2},
        {"[SPEED]\r\nWORKING=abc\r\n[PRECISION]\r\nNB DIGIT=1.5\r\n", 10.0, 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        put(c.file);
        IniFile ini(mPath);
        Sample s;
        std::vector<std::string> refused;
        ReadSettingRows<Sample>(ini, kRows, s, &refused);
        EXPECT_EQ(s.Speed, c.speed);
        EXPECT_EQ(s.Digits, c.digits);
        ASSERT_EQ(refused.size(), c.refused);
        if (c.refused) {
            EXPECT_EQ(refused[0], "Réglage SPEED/WORKING : valeur incorrecte, 10 conservé");
        }
    }
    put("[COLOR]\r\nBACKGROUND=65280\r\n[DRAWING]\r\nON=1\r\n[HELP]\r\nFILE=a b.pdf\r\n[TCP-IP SERVER]\r\nLOOSE=-3\r\n");
    IniFile ini(mPath);
    Sample s;
    ReadSettingRows<Sample>(ini, kRows, s);
    EXPECT_EQ(s.Colour, 65280);
    EXPECT_TRUE(s.On);
    EXPECT_EQ(s.Name, "a b.pdf");
    EXPECT_EQ(s.Loose, -3.0);
    // One field alone.
    Sample one;
    ReadSettingRow<Sample>(ini, kRows, one, &Sample::On);
    EXPECT_TRUE(one.On);
    EXPECT_EQ(one.Colour, 0xFF0000);
}

TEST_F(SettingsTable, AFieldIsWrittenByItsTypeUnderItsRowsKeyAndWriteSpelling)
{
    IniFile ini(mPath);
    Sample s;
    s.Speed = 2.25;
    s.On = true;
    s.Name = "x.pdf";
    s.Loose = 0.5;
    EXPECT_TRUE(WriteSettingRow<Sample>(ini, kRows, s, &Sample::Loose));
    EXPECT_TRUE(WriteSettingRow<Sample>(ini, kRows, s, &Sample::Speed));
    EXPECT_TRUE(WriteSettingRow<Sample>(ini, kRows, s, &Sample::Digits));
    EXPECT_TRUE(WriteSettingRow<Sample>(ini, kRows, s, &Sample::On));
    EXPECT_TRUE(StoreSettingRow<Sample>(ini, kRows, &Sample::Name, std::string("y.pdf")));
    EXPECT_TRUE(StoreSettingRow<Sample>(ini, kRows, &Sample::Colour, 255LL));
    EXPECT_EQ(file(), "[TCP-IP SERVER]\r\nLOOSE=0.5\r\n[SPEED]\r\nWORKING=2.25\r\n[PRECISION]\r\nNB DIGIT=4\r\n"
                      "[DRAWING]\r\nON=1\r\n[HELP]\r\nFILE=y.pdf\r\n[COLOR]\r\nBACKGROUND=255\r\n");
    // A field without a row writes nothing.
    const SettingRow<Sample> none[] = {{"SPEED", "WORKING", &Sample::Speed}};
    EXPECT_FALSE(WriteSettingRow<Sample>(ini, none, s, &Sample::On));
}

}  // namespace
