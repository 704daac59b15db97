// The program itself, started as a user would, in a program folder of its own.
#include "core/inifile.h"

#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;
using mvx::IniFile;

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mDir = fs::temp_directory_path() /
               ("mvx_start_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(mDir);
        fs::create_directories(mDir);
        fs::copy_file(MVX_PROGRAM, mDir / "movantrix");
        // Never the controller's default address from a test.
        std::ofstream(mDir / "movantrix.INI") << "[TCP-IP]\r\nADR IP=127.0.0.1\r\n";
    }
    void TearDown() override { fs::remove_all(mDir); }

    QProcess* start(const QStringList& args)
    {
        auto* p = new QProcess;
        p->setWorkingDirectory(QString::fromStdString(mDir.string()));
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString((mDir / "movantrix").string()), args);
        p->waitForStarted(5000);
        return p;
    }
    IniFile settings() const { return IniFile((mDir / "movantrix.INI").string()); }

    fs::path mDir;
};

}  // namespace

TEST_F(StartupTest, NumericOptionsGoToTheSettingsFile)
{
    QProcess* p = start({"x.nc", "V=12.5", "U=abc", "/H"});
    ASSERT_TRUE(p->waitForFinished(20000));
    const QString err = p->readAllStandardError();
    EXPECT_EQ(settings().readString("SPEED", "POSITIONNING", ""), "12.5");
    EXPECT_FALSE(settings().valueExists("SPEED", "WORKING"));
    EXPECT_TRUE(err.contains("U=")) << err.toStdString();
    // The file is not in GCODE/ and is not the last converted one: the batch says so and ends.
    EXPECT_TRUE(err.contains("Le dernier GCode converti n'était pas")) << err.toStdString();
    for (const char* dir : {"GCODE", "TMP", "TCLPC", "ADMIN"}) EXPECT_TRUE(fs::is_directory(mDir / dir)) << dir;
    delete p;
}

TEST_F(StartupTest, SecondInstanceSaysSoAndEnds)
{
    QProcess* first = start({});
    QThread::msleep(1500);
    ASSERT_EQ(first->state(), QProcess::Running);
    QProcess* second = start({});
    QString err;
    for (int i = 0; i < 100 && !err.contains("already running"); ++i) {
        second->waitForReadyRead(100);
        err += second->readAllStandardError();
    }
    EXPECT_TRUE(err.contains("movantrix is already running.")) << err.toStdString();
    second->kill();
    second->waitForFinished();
    first->terminate();
    first->waitForFinished();
    delete first;
    delete second;
}

TEST_F(StartupTest, LanguageThreeFillsBothFiles)
{
    {
        IniFile s = settings();
        s.writeInteger("MAIN", "LANGUE", 3);
    }
    QProcess* p = start({"x.nc", "/H"});
    ASSERT_TRUE(p->waitForFinished(30000));
    IniFile translator((mDir / "movantrix_LANGUAGE_3.INI").string());
    IniFile controller((mDir / "KVX_Language_3.ini").string());
    EXPECT_EQ(translator.readString("Caption", "Fmain", ""), "MOVANTRIX");
    EXPECT_EQ(translator.readString("Strings", "StringImpossibledecharger", ""), "Impossible de charger");
    EXPECT_TRUE(fs::exists(mDir / "KVX_Language_3.ini"));
    EXPECT_FALSE(controller.sections().empty());
    EXPECT_EQ(settings().readInteger("MAIN", "LANGUE", 0), 3);
    delete p;
}

// After a kill: the settings file (it holds the controller's password) was readable by all and
// half-written temporaries lay about. The next start closes the one and removes the others,
// in its own folders only.
TEST_F(StartupTest, SettingsFileIsClosedToOthersAndLeftoverTemporariesGo)
{
    const fs::path settingsFile = mDir / "movantrix.INI";
    fs::permissions(settingsFile, fs::perms(0644));
    const fs::path leftovers[] = {mDir / "movantrix.INI.tmp~", mDir / "GCODE" / "TMP.GCODE.part~",
                                  mDir / "TMP" / "GCode_Converted.TCL.part~", mDir / "ADMIN" / "Public" / "a.tcl.part~"};
    const fs::path kept[] = {mDir / "GCODE" / "job.nc", mDir / "GCODE" / "drawing.part", mDir / "mine" / "notes.part~"};
    for (const auto& group : {std::vector<fs::path>(std::begin(leftovers), std::end(leftovers)),
                              std::vector<fs::path>(std::begin(kept), std::end(kept))})
        for (const fs::path& f : group) {
            fs::create_directories(f.parent_path());
            std::ofstream(f) << "x";
        }
    QProcess* p = start({"x.nc", "/H"});
    ASSERT_TRUE(p->waitForFinished(20000));
    delete p;
    EXPECT_EQ(fs::status(settingsFile).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    for (const fs::path& f : leftovers) EXPECT_FALSE(fs::exists(f)) << f;
    for (const fs::path& f : kept) EXPECT_TRUE(fs::exists(f)) << f;
}
