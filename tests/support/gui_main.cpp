// Tests that wait in event loops need an application object on the main thread.
#include <gtest/gtest.h>

#include "link/controller.h"
#include "core/common.h"

#include "linkui/linkreporter.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The link's words are message boxes and its waits live, as in the program.
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    // A settings file of the run's own, never the build folder's.
    QTemporaryDir dir;
    mvx::InitCommonGlobals(dir.path().toStdString() + "/", "movantrix");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
