#include "page_divers.h"

#include "maintenancecontext.h"

#include "app/appearance.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "link/api.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace mvx::maint {
namespace {

constexpr std::size_t kListLimit = 1001;
constexpr std::size_t kTextLimit = 255;

std::string limited(std::string s, std::size_t n)
{
    if (s.size() > n) s.resize(n);
    return s;
}

std::string withoutBlanks(std::string s)
{
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; }), s.end());
    return s;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption)
{
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// Runs one API call; a conversion failure of the reply counts as an empty reply.
template <class F>
int guarded(F&& call)
{
    try {
        return call();
    } catch (...) {
        return -2;
    }
}

struct DoneField {
    const char* name;
    const char* caption;
    const char* line;        // result line title
    const char* invalidKey;  // message after the bad text
};
constexpr DoneField kDoneFields[5] = {
    {"Edit67", "Position Window", "Position Window: ", "stringpositionwindowerror"},
    {"Edit68", "Position Velocity", "Velocity Window: ", "stringvelocitywindowerror"},
    {"Edit69", "Checking Time", "Checking Time: ", "stringcheckingtimeerror"},
    {"Edit70", "Mean Period", "Mean Period: ", "stringmeabperioderror"},
    {"Edit87", "Time Out", "Time Out: ", "stringtimeouterror"},
};

}  // namespace

PageDivers::PageDivers(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    auto* layout = new QVBoxLayout(this);

    auto* versions = new QVBoxLayout;
    mLibraryVersion = new QLabel("Version DLL:", this);
    mLibraryVersion->setObjectName("Label104");
    mFirmware = new QLabel("Firmware:", this);
    mFirmware->setObjectName("Label107");
    versions->addWidget(mLibraryVersion);
    versions->addWidget(mFirmware);
    layout->addLayout(versions);

    layout->addWidget(new QLabel("Hardware list:", this));
    mLists = new QPlainTextEdit(this);
    mLists->setObjectName("RichEdit3");
    mLists->setFont(CodeFont());
    mLists->setReadOnly(true);
    mLists->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(mLists, 1);

    auto* posRow = new QHBoxLayout;
    mPositioner = new QComboBox(this);
    mPositioner->setObjectName("ComboBox8");
    auto* hwStatus = button(this, "Button9", "HardwareStatusGet");
    auto* doneGet = button(this, "PositionerMotionDoneGetButton", "PositionerMotionDoneGet");
    posRow->addWidget(mPositioner, 1);
    posRow->addWidget(hwStatus);
    posRow->addWidget(doneGet);
    layout->addLayout(posRow);
    mResults = new QPlainTextEdit(this);
    mResults->setObjectName("RichEdit2");
    mResults->setFont(CodeFont());
    mResults->setReadOnly(true);
    mResults->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(mResults, 1);

    auto* done = new QGroupBox("PositionerMotionDoneSet", this);
    auto* doneLayout = new QGridLayout(done);
    for (int i = 0; i < 5; ++i) {
        mDone[i] = new QLineEdit(done);
        mDone[i]->setObjectName(kDoneFields[i].name);
        doneLayout->addWidget(new QLabel(kDoneFields[i].caption, done), i, 0);
        doneLayout->addWidget(mDone[i], i, 1);
    }
    auto* change = button(done, "Button29", "Change");
    auto* read = button(done, "Button58", "Read");
    doneLayout->addWidget(change, 5, 0);
    doneLayout->addWidget(read, 5, 1);
    layout->addWidget(done);

    auto* scripts = new QGroupBox("Scripts TCL", this);
    auto* scLayout = new QGridLayout(scripts);
    mScript = new QComboBox(scripts);
    mScript->setObjectName("ComboBox9");
    mScript->setEditable(true);
    mTask = new QLineEdit(scripts);
    mTask->setObjectName("Edit88");
    mArgs = new QLineEdit(scripts);
    mArgs->setObjectName("Edit89");
    auto* run = button(scripts, "Button59", "Run");
    auto* kill = button(scripts, "Button60", "Kill");
    mRunning = new QLabel(scripts);
    mRunning->setObjectName("LabelRunning");
    mRunning->hide();
    scLayout->addWidget(new QLabel("File name:", scripts), 0, 0);
    scLayout->addWidget(mScript, 0, 1);
    scLayout->addWidget(new QLabel("Task name:", scripts), 1, 0);
    scLayout->addWidget(mTask, 1, 1);
    scLayout->addWidget(new QLabel("Arguments:", scripts), 2, 0);
    scLayout->addWidget(mArgs, 2, 1);
    scLayout->addWidget(run, 3, 0);
    scLayout->addWidget(kill, 3, 1);
    scLayout->addWidget(mRunning, 4, 0, 1, 2);
    layout->addWidget(scripts);

    mReboot = button(this, "Button61", "REBOOT KVX");
    layout->addWidget(mReboot);
    mProgress = new QProgressBar(this);
    mProgress->setObjectName("ProgressBar1");
    mProgress->setRange(0, 100);
    mProgress->hide();
    layout->addWidget(mProgress);

    connect(hwStatus, &QPushButton::clicked, this, [this] { Button9Click(); });
    connect(doneGet, &QPushButton::clicked, this, [this] { PositionerMotionDoneGetButtonClick(); });
    connect(read, &QPushButton::clicked, this, [this] { PositionerMotionDoneGetButtonClick(); });
    connect(change, &QPushButton::clicked, this, [this] { Button29Click(); });
    connect(run, &QPushButton::clicked, this, [this] { Button59Click(); });
    connect(kill, &QPushButton::clicked, this, [this] { Button60Click(); });
    connect(mReboot, &QPushButton::clicked, this, [this] { Button61Click(); });
    updateRebootButton();
}

void PageDivers::updateRebootButton()
{
    mReboot->setEnabled(context().rebootAvailable());
}

void PageDivers::groupsChanged(const link::ControllerGroups&) { context().FillPositionerList(mPositioner); }

std::string PageDivers::positioner() const { return mPositioner->currentText().toStdString(); }

QStringList PageDivers::ScriptNamesOf(const std::vector<std::string>& listing)
{
    QStringList names;
    for (std::string line : listing) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        const std::size_t ext = line.find(".tcl");
        if (ext == std::string::npos) continue;
        const std::size_t blank = line.rfind(' ', ext);
        const std::string name = blank == std::string::npos ? line : line.substr(blank + 1);
        if (!name.empty()) names << QString::fromStdString(name);
    }
    return names;
}

void PageDivers::TabSheet2Show()
{
    MaintenanceContext& ctx = context();
    ctx.stopPositionReading();
    // Emptied first, so the errors of the reads below stay readable.
    ctx.clearLog();
    ctx.FillPositionerList(mPositioner);
    mLibraryVersion->setText(QString::fromStdString(api::LibraryVersionGet()));
    {
        const link::PooledSocket conn(context().controller(), 1.0);
        if (!conn.ok()) {
            ctx.log(QString::fromStdString(texts::get("stringnosocketmaintenance")));
        } else {
            std::string firmware, hardware, objects;
            if (ctx.logError(guarded([&] { return api::FirmwareVersionGet(conn.index(), firmware); })))
                mFirmware->setText(QString::fromStdString(limited(firmware, kListLimit)));
            if (ctx.logError(guarded([&] { return api::HardwareInternalListGet(conn.index(), hardware); })))
                mLists->appendPlainText(QString::fromStdString(limited(hardware, kListLimit)));
            if (ctx.logError(guarded([&] { return api::ObjectsListGet(conn.index(), objects); })))
                mLists->appendPlainText(QString::fromStdString(limited(objects, kListLimit)));
        }
    }
    mScript->clear();
    if (common().ControllerUsable.load() &&
        context().controller().changeDir(common().RemoteScriptsDir, common().ProgramDir))
        mScript->addItems(ScriptNamesOf(context().controller().transfer().RemoteListing));
}

void PageDivers::Button9Click()
{
    MaintenanceContext& ctx = context();
    const link::PooledSocket conn(context().controller(), 1.0);
    if (!conn.ok()) {
        ctx.log(QString::fromStdString(texts::get("stringnosocketmaintenance")));
        return;
    }
    const std::string pos = positioner();
    int status = 0;
    if (ctx.logError(guarded([&] { return api::PositionerHardwareStatusGet(conn.index(), pos, status); }))) {
        mHardwareStatus = status;
        mResults->appendPlainText(QString::fromStdString(pos + " status: " + num::integer(status)));
    }
    std::string text;
    if (ctx.logError(guarded([&] { return api::PositionerHardwareStatusStringGet(conn.index(), mHardwareStatus, text); })))
        mResults->appendPlainText(QString::fromStdString("---->" + limited(text, kTextLimit)));
}

void PageDivers::PositionerMotionDoneGetButtonClick()
{
    MaintenanceContext& ctx = context();
    const link::PooledSocket conn(context().controller(), 1.0);
    if (!conn.ok()) {
        ctx.log(QString::fromStdString(texts::get("stringnosocketmaintenance")));
        return;
    }
    const std::string pos = positioner();
    std::array<double, 5> p{};
    if (!ctx.logError(guarded([&] { return api::PositionerMotionDoneGet(conn.index(), pos, p); }))) return;
    mResults->appendPlainText(" ");
    mResults->appendPlainText(QString::fromStdString(pos + ":"));
    for (std::size_t i = 0; i < p.size(); ++i) {
        const std::string v = num::general(p[i]);
        mResults->appendPlainText(QString::fromStdString(kDoneFields[i].line + v));
        mDone[i]->setText(QString::fromStdString(v));
    }
}

void PageDivers::Button29Click()
{
    std::array<double, 5> p{};
    for (std::size_t i = 0; i < p.size(); ++i) {
        const std::string text = mDone[i]->text().toStdString();
        const std::optional<double> v = num::parseStrict(text);
        if (!v) {
            ShowMsg(text + texts::get(kDoneFields[i].invalidKey));
            return;
        }
        p[i] = *v;
    }
    MaintenanceContext& ctx = context();
    const link::PooledSocket conn(context().controller(), 1.0);
    if (!conn.ok()) {
        ctx.log(QString::fromStdString(texts::get("stringnosocketmaintenance")));
        return;
    }
    ctx.logError(guarded([&] { return api::PositionerMotionDoneSet(conn.index(), positioner(), p); }));
}

void PageDivers::Button59Click()
{
    const std::string script = withoutBlanks(limited(mScript->currentText().toStdString(), kTextLimit));
    const std::string task = withoutBlanks(limited(mTask->text().toStdString(), kTextLimit));
    const std::string args = limited(mArgs->text().toStdString(), kTextLimit);
    if (script.empty()) {
        ShowMsg(texts::get("stringnameTCLfail"));
        return;
    }
    if (task.empty()) {
        ShowMsg(texts::get("stringnametaskTCLfail"));
        return;
    }
    MaintenanceContext& ctx = context();
    const link::PooledSocket conn(context().controller(), 1.0);
    if (!conn.ok()) {
        ctx.log(QString::fromStdString(texts::get("stringnosocketmaintenance")));
        return;
    }
    if (ctx.logError(guarded([&] { return api::TCLScriptExecute(conn.index(), script, task, args); }))) {
        mRunning->setText(QString::fromStdString(task + texts::get("stringrunning")));
        mRunning->show();
    }
}

void PageDivers::Button60Click()
{
    // The same name as "Run" started: a kill under another name would leave the task running.
    const std::string task = withoutBlanks(limited(mTask->text().toStdString(), kTextLimit));
    MaintenanceContext& ctx = context();
    const link::PooledSocket conn(context().controller(), 1.0);
    if (!conn.ok()) {
        ctx.log(QString::fromStdString(texts::get("stringnosocketmaintenance")));
        return;
    }
    if (ctx.logError(guarded([&] { return api::TCLScriptKill(conn.index(), task); }))) mRunning->hide();
}

void PageDivers::Button61Click()
{
    context().reboot(mProgress);
}

}  // namespace mvx::maint
