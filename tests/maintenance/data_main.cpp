// The maintenance data tests: an application object for the chart series and event waits, and a
// settings file of the run's own.
#include "link/controller.h"
#include "core/common.h"

#include "linkui/linkreporter.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The link's words are message boxes and its waits live, as in the program.
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    QTemporaryDir dir;
    mvx::InitCommonGlobals(dir.path().toStdString() + "/", "movantrix");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
