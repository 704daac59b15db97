// The settings file as the program leaves it after a fixed round of user actions over its
// windows: every menu and dialog that stores a setting, then the closing. The file must come out
// byte for byte as the golden copy (sections, keys, order of writing, value formats).
#include "tests/program/wiring.h"
#include "tests/support/textfile.h"
#include "link/controller.h"

#include "app/dialogs.h"
#include "core/cmdline.h"
#include "core/common.h"
#include "link/detect.h"
#include "mainwindow/tfmain.h"
#include "mainwindow/view3d.h"
#include "tests/support/serverport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace mvx;

namespace {

using mvx::test::ReadAll;

QWidget* Window(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name) return w;
    return nullptr;
}

// Runs `f` while the next modal dialog is handled by `onModal` (closed when it returns).
void WithModal(const std::function<void()>& f, const std::function<void(QDialog*)>& onModal)
{
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer.stop();
            onModal(d);
        }
    });
    timer.start(20);
    f();
}

TEST(SettingsFile, TheProgramWritesTheGoldenFileForAFixedRoundOfActions)
{
    const fs::path dir = fs::temp_directory_path() / ("mvx_settingsfile_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "GCODE");
    std::ofstream(dir / "movantrix.INI", std::ios::binary)
        << "[TCP-IP]\r\nADR IP=127.0.0.45\r\n[TCP-IP server]\r\nActive=0\r\n";
    std::ofstream(dir / "GCODE" / "part.nc", std::ios::binary) << ReadAll(MVX_SAMPLE);
    InitCommonGlobals(dir.string() + "/", "movantrix");
    SetMessageBoxHandler([](const std::string&, std::uint16_t) -> std::uint16_t { return MrOk; });
    std::string answer;
    SetInputQueryHandler([&answer](const std::string&, const std::string&, std::string& value) {
        value = answer;
        return true;
    });
    auto ask = [&answer](const std::string& a, const std::function<void()>& f) {
        answer = a;
        f();
    };

    const StartupHooks hooks = mvx::test::programWiring().startupHooks();
    QWidget* main = hooks.createWindows(CommandLine{});
    auto* win = qobject_cast<TFmain*>(main);
    ASSERT_NE(win, nullptr);

    // The command line's numeric options.
    hooks.applyOptions(ParseCommandLine({"part.nc", "V=11", "A=120", "U=5", "S=1.5", "D=2.5"}));

    // Setup menu of the main window.
    const char* numeric[][2] = {{"Positionningspeed1", "12.5"}, {"Workingspeed1", "2.25"},
                                {"Trajectoryacceleration1", "150"}, {"Maxangulardiscontuinity1", "3"},
                                {"Angularystep1", "4"}, {"Nbdigits1", "5"}, {"NbdigitsforPVT1", "7"},
                                {"Sampleperiod1", "150"}};
    for (const auto& [item, value] : numeric) ask(value, [&] { win->action(item)->trigger(); });
    win->action("useFCodes1")->trigger();
    win->action("Erasestepbystep1")->trigger();
    ask("127.0.0.46", [&] { win->action("KVXAddress1")->trigger(); });
    const int port = test::FreeServerPort();
    ASSERT_GT(port, 0);
    ask(std::to_string(port), [&] { win->action("Serverport1")->trigger(); });
    win->action("ServeurTCPIP1")->trigger();
    win->action("ServeurTCPIP1")->trigger();
    win->action("TCL1")->trigger();
    win->action("SCT1")->trigger();
    win->action("English1")->trigger();

    // The G-code read remembers its file.
    win->setOpenDialog([&dir](const std::string&, const std::string&) { return (dir / "GCODE" / "part.nc").string(); });
    main->findChild<QPushButton*>("BitBtnReadGcode")->click();

    // The 3D view's pop-up items and the background colour.
    auto* view = main->findChild<View3D*>();
    ASSERT_NE(view, nullptr);
    auto popup = [view](const char* name) { view->popupMenu()->findChild<QAction*>(name)->trigger(); };
    ask("0.35", [&] { popup("Nodesize1"); });
    ask("1.5", [&] { popup("Arrowssize1"); });
    ask("6.25", [&] { popup("Conesize1"); });
    WithModal([&] { win->action("Backgroundcolor1")->trigger(); },
              [](QDialog* d) {
                  if (auto* c = qobject_cast<QColorDialog*>(d)) c->setCurrentColor(QColor(0x12, 0x34, 0x56));
                  d->accept();
              });

    // The connection dialog: a detected type, its box, its pop-up items.
    link::CurrentController().selectControllerType(1);
    QWidget* connectDialog = Window("Fconnect_KVX_GB");
    ASSERT_NE(connectDialog, nullptr);
    connectDialog->findChild<QCheckBox*>("CheckBoxHide")->click();
    connectDialog->findChild<QAction*>("MenuMethod6")->trigger();
    ask("25000", [&] { connectDialog->findChild<QAction*>("MenuRebootDelay")->trigger(); });

    // The maintenance console opened and closed: its pages store their settings.
    auto* console = qobject_cast<QDialog*>(Window("Fmain_KVX"));
    ASSERT_NE(console, nullptr);
    QTimer::singleShot(300, console, [console] {
        for (auto* box : console->findChildren<QCheckBox*>("CheckBox1"))
            if (box->text() == "Utiliser les extensions") box->setChecked(true);
        console->reject();
    });
    console->exec();

    main->close();
    delete main;
    SetInputQueryHandler({});
    SetMessageBoxHandler({});

    // The server port is the one found free for this run, the folder this run's own.
    std::string written =
        std::regex_replace(ReadAll(dir / "movantrix.INI"), std::regex("PORT=" + std::to_string(port)), "PORT=<port>");
    for (std::size_t at; (at = written.find(dir.string())) != std::string::npos;)
        written.replace(at, dir.string().size(), "<dir>");
    const fs::path golden = fs::path(MVX_TEST_DATA) / "settings_after_actions.INI";
    if (qEnvironmentVariableIsSet("MVX_WRITE_GOLDEN")) std::ofstream(golden, std::ios::binary) << written;
    EXPECT_EQ(written, ReadAll(golden));
    fs::remove_all(dir);
}

}  // namespace
