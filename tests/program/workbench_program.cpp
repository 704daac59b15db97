#include "workbench_program.h"

#include "tests/program/wiring.h"

#include "core/cmdline.h"
#include "core/common.h"
#include "app/dialogs.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace mvx::test {

namespace fs = std::filesystem;

namespace {
bool gStarted = false;
}

bool WaitUntil(const std::function<bool()>& done, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) return true;
        WaitWithMessages(20);
    }
    return done();
}

bool WorkbenchProgram::startProgram(KvxSimOptions options)
{
    if (gStarted) {
        ADD_FAILURE() << "one program per process: run this test on its own";
        return false;
    }
    gStarted = true;
    mSim = std::make_unique<KvxSim>(std::move(options));
    mDir = (fs::temp_directory_path() / ("mvx_workbench_" + std::to_string(::getpid()))).string() + "/";
    fs::remove_all(mDir);
    fs::create_directories(mDir + "TMP");
    // The simulator's address, its model known and no detection dialog, the axes chosen: a
    // plain start.
    std::ofstream(mDir + "movantrix.INI") << "[TCP-IP]\r\nADR IP=" << mSim->address()
                                          << "\r\n[MAIN]\r\nHIDE FCONNECT=1\r\n[KVX]\r\nTYPE=" << mSim->options().model
                                          << "\r\n[POSITIONER NAME]\r\nAXIS X=GROUP1.X\r\nAXIS Y=GROUP1.Y\r\nAXIS Z=GROUP1.Z\r\n";
    InitCommonGlobals(mDir, "movantrix");
    SetMessageBoxHandler([this](const std::string& text, std::uint16_t) -> std::uint16_t {
        messages.push_back(text);
        return answer;
    });
    SetInputQueryHandler([this](const std::string&, const std::string&, std::string& value) {
        if (inputs.empty()) return false;
        value = inputs.front();
        inputs.erase(inputs.begin());
        return true;
    });
    mMain = mvx::test::programWiring().startupHooks().createWindows(CommandLine{});
    return mMain != nullptr;
}

bool WorkbenchProgram::connect()
{
    const bool usable = mvx::test::programWiring().startupHooks().connect();
    // Shown and active as the program leaves it before its message loop.
    mMain->show();
    mMain->activateWindow();
    if (!QTest::qWaitForWindowActive(mMain)) ADD_FAILURE() << "the main window never became active";
    return usable;
}

void WorkbenchProgram::TearDown()
{
    SetMessageBoxHandler({});
    SetInputQueryHandler({});
    delete mMain;
    mMain = nullptr;
    mSim.reset();
    if (!mDir.empty()) {
        std::error_code ec;
        fs::remove_all(mDir, ec);
    }
}

QWidget* WorkbenchProgram::window(const char* objectName)
{
    QWidget* found = nullptr;
    for (QWidget* w : QApplication::allWidgets())
        if (w->isWindow() && w->objectName() == objectName) found = w;
    return found;
}

bool WorkbenchProgram::whileModal(const char* objectName, const std::function<void()>& trigger,
                                  const std::function<void(QDialog*)>& steps, int ms)
{
    bool shown = false;
    auto* timer = new QTimer;
    timer->setInterval(20);
    int waited = 0;
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        waited += 20;
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->objectName() == objectName && dialog->isVisible()) {
            timer->stop();
            shown = true;
            // Laid out and painted once before anything is clicked.
            WaitWithMessages(50);
            steps(dialog);
            if (dialog->isVisible()) dialog->reject();
        } else if (waited > ms) {
            timer->stop();
            if (dialog) dialog->reject();
        }
    });
    timer->start();
    trigger();
    timer->stop();
    delete timer;
    return shown;
}

int WorkbenchProgram::whileModals(const std::function<void()>& trigger,
                                  const std::vector<std::pair<std::string, std::function<void(QDialog*)>>>& steps)
{
    int shown = 0;
    QDialog* handled = nullptr;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog == handled) return;
        for (const auto& [name, step] : steps) {
            if (dialog->objectName().toStdString() != name) continue;
            handled = dialog;
            ++shown;
            WaitWithMessages(50);
            step(dialog);
            if (dialog->isVisible()) dialog->reject();
            handled = nullptr;
            return;
        }
    });
    timer.start();
    trigger();
    return shown;
}

}  // namespace mvx::test
