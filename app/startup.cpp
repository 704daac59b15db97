#include "startup.h"

#include "appearance.h"
#include "core/cmdline.h"
#include "core/common.h"
#include "dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "core/programsettings.h"
#include "language.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QLockFile>
#include <QMessageBox>

#include <cstdio>

namespace mvx {

int RunProgram(int argc, char** argv, const StartupHooks& hooks)
{
    // No OpenGL context is shared from the start: asking for one would load the OpenGL driver
    // (tens of megabytes) in every run. The 3D view makes its own when first shown, the site
    // page's engine its own when first opened.
    QApplication app(argc, argv);
    InitCommonGlobals();

    // One instance per executable name (and program folder, which holds its settings).
    const std::string exe = ExecutableName();
    QLockFile lock(QString::fromStdString(common().ProgramDir + "." + exe + ".lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        const std::string text = exe + " is already running.";
        std::fprintf(stderr, "%s\n", text.c_str());
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(exe), QString::fromStdString(text));
        box.setObjectName("AlreadyRunning");
        box.exec();
        return 1;
    }

    // Only now that no other instance runs here: a killed run's half-written files.
    RemoveLeftoverTemporaries(common().ProgramDir);

    app.setApplicationName("MOVANTRIX");
    InstallProgramStyle(app);
    // Widgets show numbers with "."; the program's own texts never use the locale anyway.
    QLocale::setDefault(QLocale::c());

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const CommandLine cl = ParseCommandLine(args);
    if (cl.QuietMode) {
        // A quiet run is unattended: a message never waits for a button.
        SetMessageBoxHandler([](const std::string& text, std::uint16_t) -> std::uint16_t {
            std::fprintf(stderr, "%s\n", text.c_str());
            return MrOk;
        });
    }

    for (const char* dir : {"GCODE", "TMP", "TCLPC", "ADMIN"}) QDir().mkpath(QString::fromStdString(common().ProgramDir + dir));

    QWidget* mainWindow = hooks.createWindows ? hooks.createWindows(cl) : nullptr;

    ProgramSettings stored;
    stored.Read(*SettingsIni());
    const int n = stored.Language >= 1 && stored.Language <= 3 ? stored.Language : 1;
    SetLanguage(n);
    LoadLanguage(n);

    if (hooks.connect) hooks.connect();
    if (hooks.applyOptions) hooks.applyOptions(cl);

    if (mainWindow) mainWindow->show();
    return app.exec();
}

}  // namespace mvx
