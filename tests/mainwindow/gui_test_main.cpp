// QApplication for the main-window tests. The platform is offscreen unless the test's environment
// chose another one (the GL test runs under xcb inside xvfb-run).
#include "link/controller.h"
#include "linkui/linkreporter.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a display the X platform cannot start: the GL tests then skip under offscreen.
    if (qgetenv("QT_QPA_PLATFORM") == "xcb" && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The link's words are message boxes and its waits live, as in the program.
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
