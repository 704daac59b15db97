// The page tests wait in event loops: an application object on the main thread, offscreen.
#include <gtest/gtest.h>

#include "link/controller.h"
#include "core/common.h"
#include "pages_fixture.h"

#include "linkui/linkreporter.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The link's words are message boxes and its waits live, as in the program.
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    QTemporaryDir dir;
    mvx::InitCommonGlobals(dir.path().toStdString() + "/", "movantrix");
    ::testing::InitGoogleTest(&argc, argv);
    struct StopSimulator : ::testing::Environment {
        void TearDown() override { mvx::test::PagesTest::StopSim(); }
    };
    ::testing::AddGlobalTestEnvironment(new StopSimulator);
    return RUN_ALL_TESTS();
}
