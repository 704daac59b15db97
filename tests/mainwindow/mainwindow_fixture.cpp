#include "mainwindow_fixture.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"

#include <QDir>
#include <QFileInfo>

#include <fstream>
#include <sstream>

namespace mvx::test {

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
}

bool FileExists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

void MainWindowTest::SetUp()
{
    mDir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(mDir->isValid());
    mRoot = mDir->path().toStdString() + "/";
    InitCommonGlobals(mRoot, "movantrix");
    SettingsIni()->writeString("TCP-IP", "ADR IP", "127.0.0.1");
    QDir().mkpath(QString::fromStdString(mRoot + "GCODE"));
    common().StopRequested = 0;
    SetControllerModel(ModelNone);
    SetMessageBoxHandler([this](const std::string& text, std::uint16_t) -> std::uint16_t {
        mMessages.push_back(text);
        return MrOk;
    });
    SetInputQueryHandler([this](const std::string& caption, const std::string& prompt, std::string& value) {
        mPrompts.push_back(caption + "|" + prompt);
        if (mAnswers.empty()) return false;
        value = mAnswers.front();
        mAnswers.pop_front();
        return true;
    });
    MakeWindow();
}

void MainWindowTest::MakeWindow()
{
    mWin.reset();
    mWin = std::make_unique<TFmain>();
    mIo = new TFIO(mWin.get());
    mAxes = new TFaxes(mWin.get());
    mAbout = new TAboutBox(mWin.get());
    mWin->setHelperWindows(mIo, mAxes, mAbout, nullptr, nullptr, nullptr, nullptr);
    mWin->setSimulation(true);
    mWin->setOpenDialog([this](const std::string&, const std::string&) { return mDialogChoice; });
}

void MainWindowTest::CloseWindow()
{
    mWin->close();
    mWin.reset();
}

bool MainWindowTest::ReadThroughDialog(const std::string& path)
{
    mDialogChoice = path;
    return mWin->BitBtnReadGcodeClick(true);
}

void MainWindowTest::TearDown()
{
    mWin.reset();
    SetMessageBoxHandler({});
    SetInputQueryHandler({});
    common().StopRequested = 0;
}

}  // namespace mvx::test
