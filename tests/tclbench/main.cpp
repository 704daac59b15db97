// Tests that wait in event loops need an application object on the main thread.
#include <gtest/gtest.h>

#include "core/common.h"

#include "linkui/linkreporter.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The link's words are message boxes, as in the program.
    mvx::linkui::DialogReporter reporter;
    mvx::link::SetReporter(&reporter);
    // A settings file of the run's own, never the build folder's.
    QTemporaryDir dir;
    mvx::InitCommonGlobals(dir.path().toStdString() + "/", "movantrix");
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    mvx::link::SetReporter(nullptr);
    return rc;
}
