// The window tests need an application object on the main thread and a settings file of their own.
#include <gtest/gtest.h>

#include "link/controller.h"
#include "core/common.h"

#include "linkui/linkreporter.h"

#include <QApplication>
#include <QTemporaryDir>

#include <fstream>

int main(int argc, char** argv)
{
    // A desktop-sized screen: the console's stored sizes fit it.
    QTemporaryDir screenDir;
    const std::string config = screenDir.path().toStdString() + "/screen.json";
    std::ofstream(config) << "{\"screens\": [{\"name\": \"screen\", \"x\": 0, \"y\": 0, \"width\": 1920, "
                             "\"height\": 1080, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}";
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.c_str());
    QApplication app(argc, argv);
    // The link's words are message boxes and its waits live, as in the program.
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    QTemporaryDir dir;
    mvx::InitCommonGlobals(dir.path().toStdString() + "/", "movantrix");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
