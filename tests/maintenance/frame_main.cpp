// The window tests need an application object on the main thread and a settings file of their own.
#include <gtest/gtest.h>

#include "app/common.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    mvx::InitCommonGlobals(dir.path().toStdString() + "/", "movantrix");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
