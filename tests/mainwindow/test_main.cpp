// QApplication for the widget tests; it also takes the locale of the environment, which the
// number tests then run under.
#include "link/controller.h"
#include "linkui/linkreporter.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Widget tests need no display; those that draw with OpenGL choose their platform themselves.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The link's words are message boxes and its waits live, as in the program.
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
