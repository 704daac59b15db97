#pragma once
// The pages under test live in a small window of their own, with a context that does what the
// maintenance window does for them (log pane, error texts, status rule fan-out, position
// reader) on the real link to one simulator per test binary.

#include "link/controller.h"
#include "maintenance/maintenancecontext.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/api.h"
#include "link/apitable.h"
#include "link/controllerconfig.h"
#include "link/linktexts.h"
#include "link/socketpool.h"
#include "link/workers.h"
#include "translator/numtext.h"
#include "tests/support/kvxsim_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mvx::test {

class PagesContext : public maint::MaintenanceContext {
public:
    link::Controller& controller() override { return link::CurrentController(); }
    PagesContext()
    {
        mTimer.setInterval(200);
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            if (!mShown) return;
            link::PositionsShared& rec = link::CurrentController().positions();
            std::vector<double> p;
            for (int i = 0; i < mCount; ++i) p.push_back(rec.CurrentPositions[i].load());
            mShown->positionsChanged(p);
        });
        mIni = std::make_unique<IniFile>(common().ProgramDir + "pages_test.ini");
    }
    ~PagesContext() override { stopPositionReading(); }

    void log(const QString& text) override { lines.push_back(text.toStdString()); }
    void clearLog() override { lines.clear(); }
    QString decripte_erreur(int code) override
    {
        std::string text;
        const int s = link::GetSocket(1);
        if (s >= 0) {
            api::ErrorStringGet(s, code, text);
            link::ReleaseSocket(s);
        }
        return QString::fromStdString(text.empty() ? "code " + std::to_string(code) : text);
    }
    QString GroupStatusText(int status) override
    {
        std::string text = "Probleme de connection";
        const int s = link::GetSocket(1);
        if (s >= 0) {
            if (api::GroupStatusStringGet(s, status, text) != 0) text = "Probleme de connection";
            link::ReleaseSocket(s);
        }
        return QString::fromStdString(text);
    }
    bool logError(int code) override
    {
        if (code != 0) log(decripte_erreur(code));
        return code == 0;
    }
    link::ControllerGroups groups() const override { return link::CurrentController().readGroups(systemIniPath()); }
    void FillPositionerList(QComboBox* box) override
    {
        box->clear();
        for (const std::string& n : link::AllPositionerNames(systemIniPath())) box->addItem(QString::fromStdString(n));
        if (box->count() > 0) box->setCurrentIndex(0);
    }
    std::string systemIniPath() const override { return link::LocalSystemIniPath(); }
    bool setThreadGroupName(const std::string& name) override
    {
        if (link::CurrentController().setThreadGroupName(name)) return true;
        log(QString::fromStdString("too long: " + name));
        return false;
    }
    std::string threadGroupName() const override { return link::CurrentController().threadGroupName(); }
    std::optional<int> readGroupStatus(const std::string& group) override
    {
        std::optional<int> status;
        const int s = link::GetSocket(1);
        if (s >= 0) {
            int v = 0;
            const int code = api::GroupStatusGet(s, group, v);
            link::ReleaseSocket(s);
            if (code == 0)
                status = v;
            else
                log(decripte_erreur(code));
        }
        for (maint::MaintenancePage* p : pages) p->groupStatusChanged(group, status);
        return status;
    }
    void startPositionReading(const std::string& group, int count) override
    {
        stopPositionReading();
        link::CurrentController().joinWorkers(true);
        link::CurrentController().setThreadGroupName(group);
        mCount = std::clamp(count, 1, 8);
        link::CurrentController().positions().PositionReadCount.store(mCount);
        common().PositionReadingOn.store(1);
        link::CurrentController().startPositions();
        mTimer.start();
    }
    void stopPositionReading() override
    {
        common().PositionReadingOn.store(0);
        mTimer.stop();
    }
    void restartPositionReading(const std::string& group, int count) override { startPositionReading(group, count); }
    bool positionReadingOn() const override { return common().PositionReadingOn.load() != 0; }
    int controllerModel() const override { return GetControllerModel(); }
    IniFile& settings() override { return *mIni; }
    bool rebootAvailable() const override { return false; }
    void reboot(QProgressBar*) override {}
    bool showProgramWindow(const QString&) override { return false; }

    // The page that receives the position display.
    void show(maint::MaintenancePage* page)
    {
        mShown = page;
        page->pageShown();
    }
    bool logged(const std::string& part) const
    {
        for (const std::string& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }

    std::vector<std::string> lines;
    std::vector<maint::MaintenancePage*> pages;

private:
    QTimer mTimer;
    maint::MaintenancePage* mShown = nullptr;
    int mCount = 1;
    std::unique_ptr<IniFile> mIni;
};

// The configuration of the simulator: the default groups plus an XYZ group, and one corrector
// type per stage so every corrector kind has a positioner.
inline const char* kSystemIni = R"([GENERAL]
BootScriptFileName =
BootScriptArguments =

[GROUPS]
SingleAxisInUse = GROUP3 ; one rotary axis
SpindleInUse = No stage
XYInUse = GROUP2
XYGantryInUse = No stage
XYZInUse = GROUP4
MultipleAxesInUse = GROUP1

[GROUP1]
PositionerNumber = 3
PositionerInUse = X, Y, Z
[GROUP1.X]
PlugNumber = 1
StageName = S_DUAL
[GROUP1.Y]
PlugNumber = 2
StageName = S_PI
[GROUP1.Z]
PlugNumber = 3
StageName = S_VEL

[GROUP2]
PositionerNumber = 2
PositionerInUse = X, Y
[GROUP2.X]
PlugNumber = 4
StageName = S_VEL
[GROUP2.Y]
PlugNumber = 5
StageName = S_VEL

[GROUP3]
PositionerNumber = 1
PositionerInUse = T
[GROUP3.T]
PlugNumber = 6
StageName = S_ACC

[GROUP4]
PositionerNumber = 3
PositionerInUse = X, Y, Z
[GROUP4.X]
PlugNumber = 7
StageName = S_VEL
[GROUP4.Y]
PlugNumber = 8
StageName = S_VEL
[GROUP4.Z]
PlugNumber = 9
StageName = S_VEL
)";

inline std::string StagesIni()
{
    std::string out;
    const char* stages[][2] = {{"S_DUAL", "PositionerCorrectorPIDDualFFVoltage"},
                               {"S_PI", "PositionerCorrectorPIPosition"},
                               {"S_VEL", "PositionerCorrectorPIDFFVelocity"},
                               {"S_ACC", "PositionerCorrectorPIDFFAcceleration"}};
    for (const auto& s : stages) {
        out += std::string("[") + s[0] + "]\nMaximumVelocity = 300\nMaximumAcceleration = 2500\nVelocity = 50\n"
               "Acceleration = 400\nMinimumJerkTime = 0.005\nMaximumJerkTime = 0.05\n"
               "MinimumTargetPosition = -1000\nMaximumTargetPosition = 1000\nHomePreset = 0\n"
               "CorrectorType = " + s[1] + "\nKP = 100\nKI = 10\nKD = 0\n\n";
    }
    return out;
}

class PagesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartSim("Q", ModelQ); }
    // One simulator serves every suite of the binary; a suite that needs another model replaces it.
    static void StartSim(const std::string& model, int modelCode)
    {
        SetControllerModel(modelCode);
        if (sSim && sModel == model) return;
        StopSim();
        link::registerTexts();
        api::InstallSocketApi();
        KvxSimOptions o;
        o.model = model;
        o.files = {{"Config/system.ini", kSystemIni}, {"Config/stages.ini", StagesIni()}};
        sSim = new KvxSim(o);
        sModel = model;
        common().ControllerIp = sSim->address();
        common().ControllerUsable.store(1);
        common().ExtraTimeoutMs.store(0);
        std::ofstream(link::LocalSystemIniPath()) << kSystemIni;
        ASSERT_TRUE(link::CurrentController().openPool());
    }
public:
    static void StopSim()
    {
        if (!sSim) return;
        common().PositionReadingOn.store(0);
        link::CurrentController().joinWorkers(true);
        link::CurrentController().closePool();
        common().ControllerUsable.store(0);
        delete sSim;
        sSim = nullptr;
    }

protected:
    void SetUp() override
    {
        common().Debug.store(false);
        common().StopRequested.store(0);
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            boxes.push_back(text);
            return std::uint16_t(MrOk);
        });
        sim().clearFaults();
        sim().reloadConfiguration();
        sim().clearRequestLog();
    }
    void TearDown() override
    {
        sim().clearFaults();
        common().PositionReadingOn.store(0);
        link::CurrentController().joinWorkers(true);
        SetMessageBoxHandler(nullptr);
    }

    static KvxSim& sim() { return *sSim; }

    // The arguments of each request named `name`, in order (split on ",", blanks trimmed).
    static std::vector<std::vector<std::string>> callsOf(const std::string& name)
    {
        std::vector<std::vector<std::string>> out;
        for (const KvxRequest& r : sim().requestLog()) {
            if (r.text.rfind(name + "(", 0) != 0) continue;
            const auto open = r.text.find('(');
            const auto close = r.text.rfind(')');
            std::string inner = r.text.substr(open + 1, close - open - 1);
            std::vector<std::string> args;
            std::size_t start = 0;
            while (true) {
                const auto comma = inner.find(',', start);
                std::string a = inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                while (!a.empty() && a.front() == ' ') a.erase(a.begin());
                while (!a.empty() && a.back() == ' ') a.pop_back();
                args.push_back(a);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            out.push_back(args);
        }
        return out;
    }
    static double number(const std::string& text) { return num::parseStrict(text).value_or(-999999.0); }

    // Waits with events until `done` or `ms` pass.
    template <class F>
    static bool waitFor(F done, int ms = 5000)
    {
        return QTest::qWaitFor(done, ms);
    }

    static inline KvxSim* sSim = nullptr;
    static inline std::string sModel;
    std::vector<std::string> boxes;
};

}  // namespace mvx::test
