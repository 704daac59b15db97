#pragma once
// A maintenance context for page tests: the log pane is a list of lines, error texts come from
// the controller (the simulator) over the pool, settings go to a file of the test's own.
#include "link/controller.h"
#include "core/inifile.h"
#include "link/api.h"
#include "link/socketpool.h"
#include "link/workers.h"
#include "maintenance/maintenancecontext.h"

#include <QComboBox>
#include <QStringList>

namespace mvx::test {

class DataContext : public maint::MaintenanceContext {
public:
    link::Controller& controller() override { return link::CurrentController(); }
    explicit DataContext(const std::string& settingsPath) : mIni(settingsPath) {}

    void log(const QString& text) override { lines << text; }
    void clearLog() override { lines.clear(); }
    QString decripte_erreur(int code) override
    {
        return QString::fromStdString(link::CurrentController().errorText(code)) + QStringLiteral(" (") + QString::number(code) +
               QLatin1Char(')');
    }
    QString GroupStatusText(int status) override { return QString::number(status); }
    bool logError(int code) override
    {
        if (code != 0) log(decripte_erreur(code));
        return code == 0;
    }
    link::ControllerGroups groups() const override { return {}; }
    void FillPositionerList(QComboBox* box) override
    {
        box->clear();
        for (const QString& p : positioners) box->addItem(p);
        if (box->count() > 0) box->setCurrentIndex(0);
    }
    std::string systemIniPath() const override { return {}; }
    bool setThreadGroupName(const std::string& name) override
    {
        group = name;
        return link::CurrentController().setThreadGroupName(name);
    }
    std::string threadGroupName() const override { return group; }
    std::optional<int> readGroupStatus(const std::string&) override { return std::nullopt; }
    void startPositionReading(const std::string& g, int count) override
    {
        readingGroup = g;
        readingCount = count;
        reading = true;
    }
    void stopPositionReading() override { reading = false; }
    void restartPositionReading(const std::string& g, int count) override { startPositionReading(g, count); }
    bool positionReadingOn() const override { return reading; }
    int controllerModel() const override { return 1; }
    IniFile& settings() override { return mIni; }
    bool rebootAvailable() const override { return false; }
    void reboot(QProgressBar*) override {}
    bool showProgramWindow(const QString&) override { return false; }

    QStringList lines;
    QStringList positioners;
    std::string group;
    std::string readingGroup;
    int readingCount = 0;
    bool reading = false;

private:
    IniFile mIni;
};

}  // namespace mvx::test
