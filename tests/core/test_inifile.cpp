// The INI class follows Windows profile-file rules.
#include "core/inifile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using mvx::IniFile;

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/mvx_ini_XXXXXX";
        mDir = mkdtemp(tmpl);
        mPath = mDir + "/test.INI";
    }
    void TearDown() override
    {
        ::chmod(mDir.c_str(), 0755);
        std::remove(mPath.c_str());
        ::rmdir(mDir.c_str());
    }
    void put(const std::string& data) { std::ofstream(mPath, std::ios::binary) << data; }
    std::string contents() const
    {
        std::ifstream in(mPath, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string mDir, mPath;
};

}  // namespace

TEST_F(IniTest, SectionsAndKeysIgnoreCase)
{
    IniFile ini(mPath);
    ASSERT_TRUE(ini.writeString("TCP-IP SERVER", "PORT", "8000"));
    EXPECT_EQ(ini.readString("TCP-IP server", "port", ""), "8000");
    EXPECT_EQ(ini.readInteger("tcp-ip Server", "Port", 0), 8000);
    ini.writeString("tcp-ip server", "port", "8001");
    EXPECT_EQ(contents(), "[TCP-IP SERVER]\r\nPORT=8001\r\n");
}

TEST_F(IniTest, UntouchedLinesKeptByteForByte)
{
    const std::string before = "; comment  \n[A]\nkey one = v1 \n\n  [b]  \nx=1\n[C]\ny=2";
    put(before);
    IniFile ini(mPath);
    EXPECT_EQ(ini.readString("a", "KEY ONE", ""), "v1");
    ini.writeString("B", "x", "2");
    EXPECT_EQ(contents(), "; comment  \n[A]\nkey one = v1 \n\n  [b]  \nx=2\n[C]\ny=2");
    ini.writeString("A", "new", "n");  // after the section's last non-blank line
    EXPECT_EQ(contents(), "; comment  \n[A]\nkey one = v1 \nnew=n\n\n  [b]  \nx=2\n[C]\ny=2");
    ini.writeString("C", "z", "3");  // a last line without its end gets one
    EXPECT_EQ(contents(), "; comment  \n[A]\nkey one = v1 \nnew=n\n\n  [b]  \nx=2\n[C]\ny=2\nz=3\n");
}

TEST_F(IniTest, TypedValuesAndDefaults)
{
    IniFile ini(mPath);
    EXPECT_EQ(ini.readFloat("SPEED", "WORKING", 1.0), 1.0);  // missing file: defaults
    ini.writeFloat("SPEED", "POSITIONNING", 12.5);
    ini.writeBool("MAIN", "EXTENDED_IO", true);
    ini.writeString("TRAJECTORY", "DISCONTINUITY ANGLE MAX", "abc");
    EXPECT_EQ(ini.readString("SPEED", "POSITIONNING", ""), "12.5");
    EXPECT_EQ(ini.readFloat("speed", "positionning", 0), 12.5);
    EXPECT_TRUE(ini.readBool("MAIN", "EXTENDED_IO", false));
    EXPECT_EQ(ini.readFloat("TRAJECTORY", "DISCONTINUITY ANGLE MAX", 2.0), 2.0);
    EXPECT_EQ(ini.readInteger("SPEED", "POSITIONNING", 7), 7);
}

TEST_F(IniTest, EnumerationInFileOrder)
{
    put("[Z]\nb=1\na=2\nB=3\n[y]\n[z]\nc=4\n");
    IniFile ini(mPath);
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"Z", "y"}));
    EXPECT_EQ(ini.keys("z"), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(ini.readString("Z", "B", ""), "1");  // the first occurrence wins
    ASSERT_TRUE(ini.deleteKey("Z", "a"));
    ASSERT_TRUE(ini.eraseSection("Y"));
    EXPECT_EQ(contents(), "[Z]\nb=1\nB=3\n[z]\nc=4\n");
}

TEST_F(IniTest, SeesChangesMadeByAnotherHandle)
{
    IniFile a(mPath), b(mPath);
    a.writeString("MAIN", "LANGUE", "2");
    EXPECT_EQ(b.readInteger("MAIN", "LANGUE", 1), 2);
    b.writeString("MAIN", "LANGUE", "3");
    EXPECT_EQ(a.readInteger("MAIN", "LANGUE", 1), 3);
}

TEST_F(IniTest, ValuesCannotBreakTheFile)
{
    IniFile ini(mPath);
    ini.writeString("S", "K", "one\r\ntwo");
    EXPECT_EQ(ini.readString("S", "K", ""), "onetwo");
    EXPECT_EQ(ini.sections().size(), 1u);
}

TEST_F(IniTest, FailedWriteSaysSo)
{
    IniFile ini(mDir + "/no such folder/x.INI");
    EXPECT_FALSE(ini.writeString("A", "k", "2"));
    EXPECT_FALSE(ini.lastError().empty());
    EXPECT_EQ(ini.readString("A", "k", "def"), "def");
}

// The settings file holds the controller's password: nobody but its owner may read it, not
// even for the moment its temporary exists. Other files keep the mode they had.
TEST_F(IniTest, FileModeFollowsTheAccessAskedFor)
{
    const mode_t oldMask = ::umask(022);
    auto modeOf = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    };
    struct Row {
        IniFile::Access access;
        int before;  // -1: no file yet
        int after;
    };
    const Row rows[] = {
        {IniFile::Access::OwnerOnly, -1, 0600},
        {IniFile::Access::OwnerOnly, 0644, 0600},
        {IniFile::Access::Shared, -1, 0644},
        {IniFile::Access::Shared, 0640, 0640},
    };
    for (const Row& r : rows) {
        std::remove(mPath.c_str());
        if (r.before >= 0) {
            put("[A]\r\nk=1\r\n");
            ::chmod(mPath.c_str(), mode_t(r.before));
        }
        // A temporary left by a killed run, readable by everybody.
        const std::string stale = mPath + ".tmp~";
        std::ofstream(stale) << "old";
        ::chmod(stale.c_str(), 0644);
        IniFile ini(mPath, r.access);
        ASSERT_TRUE(ini.writeString("A", "k", "2")) << ini.lastError();
        EXPECT_EQ(modeOf(mPath), r.after) << r.before;
        EXPECT_EQ(modeOf(stale), -1);
        EXPECT_EQ(ini.readString("A", "k", ""), "2");
    }
    ::umask(oldMask);
}
