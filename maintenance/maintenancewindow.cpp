#include "maintenancewindow.h"

#include "maintenanceregistry.h"
#include "page_divers.h"
#include "page_general.h"

#include "app/appearance.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "link/api.h"
#include "link/apitable.h"
#include "link/linktexts.h"
#include "link/reboot.h"
#include "linkui/linkreporter.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "link/workers.h"
#include "translator/numtext.h"
#include "translator/texts.h"
#include "core/guard.h"
#include "consolesettings.h"
#include "core/windowgeometry.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace mvx::maint {
namespace {

TFmain_KVX* gForm = nullptr;

// Pages in tab order: objectName and built-in caption.
struct PageRow {
    const char* name;
    const char* caption;
};
constexpr PageRow kPageRows[] = {
    {"TSgeneral", "Général"},      {"TSSingle", "\"Single\""},  {"TSmultiple", "Multiples"},
    {"TSXY", "XY"},                {"TSXYZ", "XYZ"},            {"TabSheet3", "Stages.ini"},
    {"TSIO", "E/S Digit."},        {"TSIOD", "E/S Digit"},      {"TabSheet1", "E/S Alog."},
    {"TSVAJ", "Param. axes"},      {"TSPID", "PID"},            {"TSAdjPID", "Test PID"},
    {"TabSheet2", "Divers"},       {"TSGA", "GlobalArray"},     {"TabSheet4", "Site"},
};

constexpr const char* kGeometrySection = "FMain_KVX";

std::string removeBlanks(std::string s)
{
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; }), s.end());
    return s;
}

// The size of a first opening: the pages and a log pane side by side on a 1280 x 800 screen.
constexpr int kDefaultWidth = 1200;
constexpr int kDefaultHeight = 740;
constexpr int kMinLogWidth = 240;
constexpr int kDefaultLogWidth = 330;

}  // namespace

TFmain_KVX::TFmain_KVX(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    registerMaintenanceTexts();
    setObjectName("Fmain_KVX");
    setWindowTitle("KVX Control");
    setSizeGripEnabled(true);

    mPages = new QTabWidget(this);
    mPages->setObjectName("Pagecontrol1");
    mLog = new QPlainTextEdit(this);
    mLog->setObjectName("RichEdit1");
    mLog->setFont(CodeFont());
    mLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    mLog->setTabChangesFocus(false);
    mLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    mClear = new QPushButton("Effacer", this);
    mClear->setObjectName("Button16");
    mSave = new QPushButton("Sauve", this);
    mSave->setObjectName("Button82");
    mClose = new QPushButton("Fermer", this);
    mClose->setObjectName("Button3");
    mClose->setAutoDefault(false);
    mSave->setAutoDefault(false);
    mClear->setAutoDefault(false);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(mPages);
    splitter->addWidget(mLog);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);
    // Wide enough for a whole line of a gathering file or a controller list.
    mLog->setMinimumWidth(kMinLogWidth);
    splitter->setSizes({kDefaultWidth - kDefaultLogWidth, kDefaultLogWidth});
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(mClear);
    buttons->addWidget(mSave);
    buttons->addStretch(1);
    buttons->addWidget(mClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(mClear, &QPushButton::clicked, this, [this] { Button16Click(); });
    connect(mSave, &QPushButton::clicked, this, [this] { Button82Click(); });
    connect(mClose, &QPushButton::clicked, this, [this] { Button3Click(); });

    resize(kDefaultWidth, kDefaultHeight);

    mTimer2 = new QTimer(this);
    mTimer2->setObjectName("Timer2");
    mTimer2->setInterval(200);
    connect(mTimer2, &QTimer::timeout, this, [this] { Timer2Timer(); });

    FormCreate();
}

TFmain_KVX::~TFmain_KVX()
{
    mTimer2->stop();
    // Pages go first, while the context they hold is still whole.
    QObject::disconnect(mPages, nullptr, this, nullptr);
    mCurrent = -1;
    for (Slot& s : mSlots) {
        delete s.widget;
        s.widget = nullptr;
        s.page = nullptr;
    }
    mSlots.clear();
    mGeneral = nullptr;
    if (gForm == this) {
        gForm = nullptr;
        mController.setLogHandler(nullptr);
        mController.setPoolStateHandler(nullptr);
        mController.setLinkConsole({});
        mController.setRebootHooks(nullptr);
    }
}

void TFmain_KVX::FormCreate()
{
    gForm = this;
    mReboot = [this](QProgressBar* bar) { mController.reboot(linkui::BarProgress(bar)); };
    for (const PageRow& row : kPageRows) {
        Slot slot;
        slot.name = row.name;
        PageFactory factory = findMaintenancePage(row.name);
        if (!factory) {
            const std::string n = row.name;
            if (n == "TSgeneral")
                factory = [](MaintenanceContext& c, QWidget* p) { return new PageGeneral(c, p); };
            else if (n == "TabSheet2")
                factory = [](MaintenanceContext& c, QWidget* p) { return new PageDivers(c, p); };
        }
        if (factory) {
            // A page that cannot be made leaves its tab empty; standard error says why.
            if (!Guarded("maintenance page", [&] { slot.page = factory(*this, mPages); })) slot.page = nullptr;
        }
        slot.widget = slot.page ? static_cast<QWidget*>(slot.page) : new QWidget(mPages);
        slot.widget->setObjectName(row.name);
        mPages->addTab(slot.widget, QString::fromUtf8(row.caption));
        if (auto* g = dynamic_cast<PageGeneral*>(slot.page)) mGeneral = g;
        mSlots.push_back(slot);
    }
    mPages->setCurrentIndex(0);
    mCurrent = 0;
    connect(mPages, &QTabWidget::currentChanged, this, [this](int i) { currentPageChanged(i); });

    // Settings the window itself keeps; each page reads its own.
    IniFile& ini = settings();
    CommonGlobals& c = common();
    ConsoleSettings own;
    own.Read(ini);
    c.FtpUser = own.FtpUser;
    c.FtpPassword = own.FtpPassword;
    c.RebootDelay.store(own.RebootDelay);
    c.DetectionMode.store(own.DetectionMode);
    c.MinSocketTimeout.store(own.MinSocketTimeout);
    for (Slot& s : mSlots)
        if (s.page) {
            Guarded("maintenance page", [&] { s.page->loadSettings(ini); });
        }

    // Link lines may come from a worker: they reach the pane through the GUI thread.
    QPointer<TFmain_KVX> self(this);
    mController.setLogHandler([self](const std::string& line) {
        const QString text = QString::fromStdString(line);
        if (QThread::currentThread() == qApp->thread()) {
            if (self) self->log(text);
        } else {
            QMetaObject::invokeMethod(
                qApp, [self, text] {
                    if (self) self->log(text);
                },
                Qt::QueuedConnection);
        }
    });
    installLinkConsole();
    // Whoever opens or closes the pool (this window, the TCL editor, a reboot), the connection
    // buttons and "Reset KVX" follow it.
    mController.setPoolStateHandler([self](link::PoolState state) {
        auto apply = [self, state] {
            if (self && self->mGeneral) self->mGeneral->setPoolState(state);
        };
        if (QThread::currentThread() == qApp->thread()) apply();
        else QMetaObject::invokeMethod(qApp, apply, Qt::QueuedConnection);
    });
    mController.setRebootHooks([self] {
        if (self) self->stopIoPoll();
    });
    mGroups = mController.currentGroups();
    broadcastGroups();
}

void TFmain_KVX::installLinkConsole()
{
    link::LinkConsole console;
    console.showAddress = [this](const std::string& address, int port) {
        if (mGeneral) mGeneral->showAddress(address, port);
    };
    console.address = [this]() -> std::string { return mGeneral ? mGeneral->address() : common().ControllerIp; };
    console.transferButtons = [this](bool connected) {
        if (mGeneral) mGeneral->setTransferOpen(connected);
    };
    console.apiButtons = [this](bool open) {
        if (mGeneral) mGeneral->setApiOpen(open);
    };
    console.singleGroupText = [this]() -> std::string {
        if (auto* box = findChild<QComboBox*>("CBsingle")) return box->currentText().toStdString();
        return mGroups.singleText;
    };
    console.fillGroups = [this](const link::ControllerGroups& g) {
        mGroups = g;
        broadcastGroups();
    };
    console.fillPositionerList = [this] { broadcastGroups(); };
    mController.setLinkConsole(std::move(console));
}

void TFmain_KVX::broadcastGroups()
{
    for (Slot& s : mSlots)
        if (s.page) {
            Guarded("maintenance page", [&] { s.page->groupsChanged(mGroups); });
        }
}

// ---- log pane ----

void TFmain_KVX::log(const QString& text) { mLog->appendPlainText(text); }

void TFmain_KVX::clearLog() { mLog->clear(); }

void TFmain_KVX::Button16Click() { clearLog(); }

void TFmain_KVX::Button82Click()
{
    QString path;
    if (mSaveChooser) {
        path = mSaveChooser();
    } else {
        QFileDialog dialog(this);
        dialog.setObjectName("SaveDialog1");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({"Measures (*.MES)", "All (*.*)"});
        dialog.setDefaultSuffix("MES");
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().first();
    }
    if (path.isEmpty()) return;
    QString text = mLog->toPlainText();
    if (!text.isEmpty()) text += '\n';
    const QByteArray bytes = text.toUtf8();
    // Written whole or not at all: a failed save keeps the old file and says so.
    if (!WriteFileAtomic(path.toStdString(), std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))))
        ShowMsg(texts::get("stringcannotsavelog") + " " + path.toStdString());
}

void TFmain_KVX::Button3Click() { close(); }

// ---- error and status texts ----

QString TFmain_KVX::decripte_erreur(int code)
{
    std::string text;
    int rc = -1;
    {
        const link::PooledSocket conn(mController, 1.0);
        if (conn.ok()) {
            try {
                rc = api::ErrorStringGet(conn.index(), code, text);
            } catch (...) {
                rc = -1;
            }
        }
    }
    if (rc != 0 || text.empty()) return QString::fromStdString(texts::get("stringerrornonidentifiee") + " " + num::integer(code));
    return QString::fromStdString(text);
}

bool TFmain_KVX::logError(int code)
{
    if (code == 0) return true;
    log(decripte_erreur(code));
    return false;
}

QString TFmain_KVX::GroupStatusText(int status)
{
    std::string text;
    int rc = -1;
    {
        const link::PooledSocket conn(mController, 1.0);
        if (conn.ok()) {
            try {
                rc = api::GroupStatusStringGet(conn.index(), status, text);
            } catch (...) {
                rc = -1;
            }
        }
    }
    if (rc != 0) return QString::fromStdString(texts::get("stringpbconnect"));
    return QString::fromStdString(text);
}

// ---- groups and positioners ----

std::string TFmain_KVX::systemIniPath() const { return link::LocalSystemIniPath(); }

void TFmain_KVX::FillPositionerList(QComboBox* box)
{
    if (!box) return;
    box->clear();
    for (const std::string& name : link::AllPositionerNames(systemIniPath()))
        box->addItem(QString::fromStdString(removeBlanks(name)));
    if (box->count() > 0) box->setCurrentIndex(0);
    if (box->isEditable()) box->setEditText(box->count() > 0 ? box->itemText(0) : QString());
}

bool TFmain_KVX::setThreadGroupName(const std::string& name)
{
    if (mController.setThreadGroupName(name)) return true;
    log(QString::fromStdString(texts::get("stringgroupnametoolong") + " " + name));
    return false;
}

std::string TFmain_KVX::threadGroupName() const { return mController.threadGroupName(); }

std::optional<int> TFmain_KVX::readGroupStatus(const std::string& group)
{
    std::optional<int> status;
    int rc = 0;
    {
        const link::PooledSocket conn(mController, 1.0);
        if (conn.ok()) {
            int s = 0;
            try {
                rc = api::GroupStatusGet(conn.index(), group, s);
            } catch (...) {
                rc = api::kErrorEmptyReply;
            }
            if (rc == 0) status = s;
        }
    }
    if (rc != 0) logError(rc);
    // A page that reads a status again from its notification does not notify once more.
    if (mNotifyingStatus) return status;
    mNotifyingStatus = true;
    for (Slot& slot : mSlots)
        if (slot.page) {
            Guarded("maintenance page", [&] { slot.page->groupStatusChanged(group, status); });
        }
    mNotifyingStatus = false;
    return status;
}

// ---- position reading and display ----

void TFmain_KVX::startPositionReading(const std::string& group, int count)
{
    count = std::clamp(count, 1, 8);
    CommonGlobals& c = common();
    // The worker reads the group it started with: another group needs a new worker.
    if (c.PositionReadingOn.load() && group != mReadingGroup) {
        c.PositionReadingOn.store(0);
        WaitWithMessages(300);
    }
    if (!setThreadGroupName(group)) return;
    mController.positions().PositionReadCount.store(count);
    // The timer first: with Debug set the worker's loop runs right here on the GUI thread.
    mTimer2->start();
    if (!c.PositionReadingOn.load()) {
        for (auto& p : mController.positions().CurrentPositions) p.store(0.0);
        c.PositionReadingOn.store(1);
        mReadingGroup = group;
        mController.joinWorkers();
        mController.startPositions();
    }
}

void TFmain_KVX::stopPositionReading()
{
    common().PositionReadingOn.store(0);
    mTimer2->stop();
}

void TFmain_KVX::restartPositionReading(const std::string& group, int count)
{
    common().PositionReadingOn.store(0);
    WaitWithMessages(200);
    mReadingGroup.clear();
    startPositionReading(group, count);
}

bool TFmain_KVX::positionReadingOn() const { return common().PositionReadingOn.load() != 0; }

void TFmain_KVX::Timer2Timer()
{
    MaintenancePage* page = currentPage();
    if (!page || !common().PositionReadingOn.load()) return;
    const int n = std::clamp(mController.positions().PositionReadCount.load(), 0, 8);
    std::array<double, 8> values{};
    for (int i = 0; i < n; ++i) values[static_cast<std::size_t>(i)] = mController.positions().CurrentPositions[static_cast<std::size_t>(i)].load();
    Guarded("maintenance page", [&] { page->positionsChanged(std::span<const double>(values.data(), static_cast<std::size_t>(n))); });
}

int TFmain_KVX::controllerModel() const { return GetControllerModel(); }

IniFile& TFmain_KVX::settings()
{
    if (IniFile* ini = SettingsIni()) return *ini;
    // Without the program's settings file (never in the program itself) a file beside it.
    static IniFile fallback(common().ProgramDir + "maintenance.ini");
    return fallback;
}

// ---- pages ----

MaintenancePage* TFmain_KVX::currentPage() const
{
    if (mCurrent < 0 || mCurrent >= static_cast<int>(mSlots.size())) return nullptr;
    return mSlots[static_cast<std::size_t>(mCurrent)].page;
}

QWidget* TFmain_KVX::page(const QString& objectName) const
{
    for (const Slot& s : mSlots)
        if (s.name == objectName) return s.widget;
    return nullptr;
}

bool TFmain_KVX::pageVisible(const QString& objectName) const
{
    QWidget* w = page(objectName);
    return w && mPages->isTabVisible(mPages->indexOf(w));
}

void TFmain_KVX::currentPageChanged(int index)
{
    MaintenancePage* old = currentPage();
    mCurrent = -1;
    for (std::size_t i = 0; i < mSlots.size(); ++i)
        if (mPages->widget(index) == mSlots[i].widget) mCurrent = static_cast<int>(i);
    Guarded("maintenance page", [&] {
        if (old) old->pageHidden();
        if (MaintenancePage* p = currentPage()) p->pageShown();
    });
}

bool TFmain_KVX::showProgramWindow(const QString& objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || w->objectName() != objectName) continue;
        if (auto* d = qobject_cast<QDialog*>(w)) d->exec();
        else {
            w->show();
            w->raise();
        }
        return true;
    }
    return false;
}

void TFmain_KVX::setRebootHandler(RebootHandler handler)
{
    mReboot = std::move(handler);
    for (Slot& s : mSlots) {
        if (auto* g = dynamic_cast<PageGeneral*>(s.page)) g->updateRebootButton();
        if (auto* d = dynamic_cast<PageDivers*>(s.page)) d->updateRebootButton();
    }
}

void TFmain_KVX::stopIoPoll()
{
    for (QTimer* t : findChildren<QTimer*>("Timer1")) t->stop();
}

void TFmain_KVX::reboot(QProgressBar* bar)
{
    if (!mReboot) return;
    Guarded("reboot", [&] { mReboot(bar); });
}

// ---- lifecycle ----

void TFmain_KVX::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    mClosing = false;
    gForm = this;
    FormShow();
    // The page the window opens on is shown as much as one chosen later: a motion page reads
    // and shows its positions again, the general page keeps the display off.
    if (MaintenancePage* p = currentPage()) {
        Guarded("maintenance page", [&] { p->pageShown(); });
    }
}

void TFmain_KVX::FormShow()
{
    IniFile& ini = settings();
    if (!mGeometryRead) {
        mGeometryRead = true;
        const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                              : QRect(0, 0, 1920, 1080);
        const bool single = QGuiApplication::screens().size() <= 1;
        WindowGeometry g{y(), x(), height(), width()};
        g.Read(ini, kGeometrySection, true);
        int top = g.Top;
        int left = g.Left;
        const int h = g.Height;
        const int w = g.Width;
        if (single) {
            top = FitToSingleScreen(top, screen.height());
            left = FitToSingleScreen(left, screen.width());
        }
        if (w > 0 && h > 0) resize(w, h);
        FitWindowToScreen(this);
        move(left, top);
    }

    CommonGlobals& c = common();
    if (c.ControllerUsable.load()) {
        if (!mController.poolOpen()) mController.openPool();
        if (!mController.transferConnected()) mController.connectTransfer(false);
    }
    TakeLinkState();

    const int model = controllerModel();
    const bool dOrRl = model == ModelD || model == ModelRL;
    if (QWidget* w = page("TSIO")) mPages->setTabVisible(mPages->indexOf(w), !dOrRl);
    if (QWidget* w = page("TSIOD")) mPages->setTabVisible(mPages->indexOf(w), dOrRl);
    for (Slot& s : mSlots)
        if (s.page) {
            Guarded("maintenance page", [&] { s.page->windowShown(model); });
        }
}

void TFmain_KVX::TakeLinkState()
{
    if (!mGeneral) return;
    // The page follows every announcement while the window lives, the link's own button steps
    // too (a start-up or a reboot whose pool failed offers "Connect." again): only a state the
    // pool has left since is corrected.
    link::PoolState state = mGeneral->poolState();
    if (mController.poolOpen()) state = link::PoolState::Open;
    else if (state == link::PoolState::Open)
        state = mController.lastPoolState() == link::PoolState::Failed ? link::PoolState::Failed : link::PoolState::Closed;
    mGeneral->setPoolState(state);
    mGeneral->setTransferOpen(mController.transferConnected());
}

void TFmain_KVX::done(int result)
{
    if (!mClosing && isVisible()) {
        mClosing = true;
        FormClose();
    }
    QDialog::done(result);
}

void TFmain_KVX::FormClose()
{
    mTimer2->stop();
    for (Slot& s : mSlots)
        if (s.page) {
            Guarded("maintenance page", [&] { s.page->windowClosing(); });
        }
    // Each page writes its own keys and reports its own bad fields; one bad field never keeps
    // the others (or the geometry) from being saved.
    IniFile& ini = settings();
    for (Slot& s : mSlots)
        if (s.page) {
            Guarded("maintenance page", [&] { s.page->saveSettings(ini); });
        }
    WindowGeometry{y(), x(), height(), width()}.Write(ini, kGeometrySection, true);

    CommonGlobals& c = common();
    const bool wasReading = c.PositionReadingOn.exchange(0) != 0;
    if (mController.transferConnected()) mController.disconnectTransfer();
    stopIoPoll();
    // Lets the position worker see its flag drop before the window goes.
    if (wasReading) WaitWithMessages(1000);
}

}  // namespace mvx::maint
