#pragma once
// A program folder of its own for each test (settings file pointing at the suite's simulator,
// axes GROUP1.X/Y/Z, GCODE/), message boxes collected instead of shown, the controller
// connected as the start-up does it.
#include "link/controller.h"
#include "tests/support/simlink.h"

#include "app/dialogs.h"
#include "core/common.h"
#include "core/inifile.h"
#include "link/transfer.h"

#include <QTemporaryDir>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mvx::test {

class ProgramFolderSimTest : public SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        ASSERT_TRUE(mDir.isValid());
        mRoot = mDir.path().toStdString() + "/";
        mSavedDir = common().ProgramDir;
        const std::string ip = common().ControllerIp;
        InitCommonGlobals(mRoot, "movantrix");
        common().ControllerIp = ip;
        SettingsIni()->writeString("TCP-IP", "ADR IP", ip);
        for (const char* key : {"AXIS X", "AXIS Y", "AXIS Z"})
            SettingsIni()->writeString("POSITIONER NAME", key, std::string("GROUP1.") + key[5]);
        std::filesystem::create_directories(mRoot + "GCODE");
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            mMessages.push_back(text);
            return std::uint16_t(MrOk);
        });
        ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    }
    void TearDown() override
    {
        SetMessageBoxHandler({});
        common().StopRequested = 0;
        InitCommonGlobals(mSavedDir, "movantrix");
        SimLinkTest::TearDown();
    }

    QTemporaryDir mDir;
    std::string mRoot;
    std::string mSavedDir;
    std::vector<std::string> mMessages;
};

}  // namespace mvx::test
