// Every window of the program exists once after start-up, and the consoles open and close.
#include "tests/program/wiring.h"

#include "core/cmdline.h"
#include "core/common.h"
#include "app/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace mvx;

TEST(ProgramWindows, EveryWindowOnceAndTheConsolesOpen)
{
    const fs::path dir = fs::temp_directory_path() / ("mvx_windows_" + std::to_string(::getpid()));
    fs::create_directories(dir / "TMP");
    // Never the controller's default address from a test.
    // A working speed of a million digits: refused at start-up, and the user is told.
    std::ofstream(dir / "movantrix.INI") << "[TCP-IP]\r\nADR IP=127.0.0.1\r\n[SPEED]\r\nWORKING="
                                         << std::string(1000000, '9') << "\r\n";
    InitCommonGlobals(dir.string(), "movantrix");
    std::vector<std::string> messages;
    SetMessageBoxHandler([&messages](const std::string& text, std::uint16_t) -> std::uint16_t {
        messages.push_back(text);
        return MrOk;
    });

    const StartupHooks hooks = mvx::test::programWiring().startupHooks();
    QWidget* main = hooks.createWindows(CommandLine{});
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Réglage SPEED/WORKING : valeur incorrecte, 1 conservé");

    const char* names[] = {"Fmain", "Ftcl", "Fmain_KVX", "FNClientFTP", "Fedit", "Fshowgathering", "FProcedures",
                           "FshowAPI", "Frestore", "Fchoixsauve", "FIO", "Faxes", "AboutBox", "Frepeat",
                           "TextSearchDialog", "Fconnect_KVX_GB", "FPVTparameters", "FcontrolPVT", "Fcentrer"};
    for (const char* name : names) {
        int count = 0;
        for (QWidget* w : QApplication::allWidgets())
            if (w->isWindow() && w->objectName() == name) ++count;
        EXPECT_EQ(count, 1) << name;
    }
    // Windows that are never shown and hold nothing are not made.
    for (QWidget* w : QApplication::allWidgets())
        for (const char* never : {"Fdroite3D", "FarcH", "FShowAndBlink", "F_TCP_UTILS"})
            EXPECT_NE(w->objectName(), never);
    // The notice window is the shared one, made once when first shown.
    ShowNotice("Try to connect to 127.0.0.1");
    int notices = 0;
    for (QWidget* w : QApplication::allWidgets())
        if (w->isWindow() && w->objectName() == "Fmessage") ++notices;
    EXPECT_EQ(notices, 1);
    ShowNotice("");
    EXPECT_NE(main->findChild<QWidget*>("Fcentrer")->findChild<QWidget*>("Edit3"), nullptr);
    for (const char* name : {"Ftcl", "Fmain_KVX", "FNClientFTP", "Fshowgathering"}) {
        QDialog* w = nullptr;
        for (QWidget* c : QApplication::allWidgets())
            if (c->isWindow() && c->objectName() == name) w = qobject_cast<QDialog*>(c);
        ASSERT_NE(w, nullptr) << name;
        QTimer::singleShot(300, w, [w] { w->reject(); });
        w->exec();
    }
    delete main;
    SetMessageBoxHandler({});
    fs::remove_all(dir);
}
