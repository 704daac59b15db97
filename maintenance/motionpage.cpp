#include "motionpage.h"

#include <QPushButton>

#include "pagecalls.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "link/api.h"
#include "link/workers.h"

#include <QComboBox>
#include <QHideEvent>
#include <QTimer>

#include <algorithm>

namespace mvx::maint {

namespace {
constexpr double kJogTimeout = 3.0;
}

GroupMotionPage::GroupMotionPage(MaintenanceContext& context, QWidget* parent, Kind kind)
    : MaintenancePage(context, parent), mKind(kind)
{
    registerPageTexts();
}

int GroupMotionPage::InitializeCall(int s, const std::string& g) { return api::GroupInitialize(s, g); }
int GroupMotionPage::KillCall(int s, const std::string& g) { return api::GroupKill(s, g); }
int GroupMotionPage::MotionEnableCall(int s, const std::string& g) { return api::GroupMotionEnable(s, g); }
int GroupMotionPage::MotionDisableCall(int s, const std::string& g) { return api::GroupMotionDisable(s, g); }
int GroupMotionPage::JogEnableCall(int s, const std::string& g) { return api::GroupJogModeEnable(s, g); }
int GroupMotionPage::JogDisableCall(int s, const std::string& g) { return api::GroupJogModeDisable(s, g); }

std::string GroupMotionPage::group() const
{
    return mGroupCombo ? mGroupCombo->currentText().toStdString() : std::string();
}

void GroupMotionPage::groupsChanged(const link::ControllerGroups& groups) { fillGroupCombo(groups); }

void GroupMotionPage::fillGroupCombo(const link::ControllerGroups& g)
{
    if (!mGroupCombo) return;
    const std::vector<std::string>* list = &g.single;
    std::string text = g.singleText;
    switch (mKind) {
    case Kind::Single: break;
    case Kind::Multiple: list = &g.multiple; text = g.multipleText; break;
    case Kind::XY: list = &g.xy; text = g.xyText; break;
    case Kind::XYZ: list = &g.xyz; text = g.xyzText; break;
    }
    QStringList items;
    for (const std::string& s : *list) items << QString::fromStdString(s);
    QStringList current;
    for (int i = 0; i < mGroupCombo->count(); ++i) current << mGroupCombo->itemText(i);
    if (items == current || items.isEmpty()) return;
    const QString keep = mGroupCombo->currentText();
    const QSignalBlocker block(mGroupCombo);
    mGroupCombo->clear();
    mGroupCombo->addItems(items);
    const int at = mGroupCombo->findText(keep);
    mGroupCombo->setCurrentIndex(at >= 0 ? at : std::max(0, int(items.indexOf(QString::fromStdString(text)))));
}

bool GroupMotionPage::selectGroup()
{
    if (context().setThreadGroupName(group())) return true;
    return false;  // the context logged the refusal
}

void GroupMotionPage::connectGroupCombo()
{
    connect(mGroupCombo, &QComboBox::currentTextChanged, this, [this] {
        endJogHold();
        if (!isVisible()) return;
        selectGroup();
        groupChanged();
        context().startPositionReading(group(), positionCount());
        refresh();
    });
}

void GroupMotionPage::windowShown(int model)
{
    (void)model;
    fillGroupCombo(context().groups());
}

void GroupMotionPage::pageShown()
{
    fillGroupCombo(context().groups());
    selectGroup();
    groupChanged();
    context().startPositionReading(group(), positionCount());
    refresh();
}

void GroupMotionPage::pageHidden()
{
    endJogHold();
    disableJogIfOn();
}

void GroupMotionPage::windowClosing()
{
    endJogHold();
    disableJogIfOn();
}

void GroupMotionPage::hideEvent(QHideEvent* event)
{
    // A hold must not outlive the page: the release would never arrive.
    endJogHold();
    MaintenancePage::hideEvent(event);
}

void GroupMotionPage::disableJogIfOn()
{
    // Not between a jog call and its reply: the mode would go off before the stop arrives, and
    // the controller refuse the stop.
    if (mJogCallsWaiting > 0 || mStopSending) {
        mDisableAfterJog = true;
        return;
    }
    for (QWidget* w : mRule.jogControls)
        if (w && w->isEnabled()) {
            jogDisable();
            return;
        }
}

void GroupMotionPage::refresh()
{
    if (group().empty()) {
        applyRule(std::nullopt);
        return;
    }
    // The context calls groupStatusChanged of every page with the result.
    context().readGroupStatus(group());
}

void GroupMotionPage::groupStatusChanged(const std::string& g, std::optional<int> status)
{
    if (g == group()) applyRule(status);
}

void GroupMotionPage::applyRule(std::optional<int> status)
{
    const GroupControlStates c = GroupControlsFor(status);
    // A disabled arrow or joystick never reports its release.
    if (!c.jogDisable) endJogHold();
    auto set = [](QWidget* w, bool on) {
        if (w) w->setEnabled(on);
    };
    set(mRule.initialize, c.initialize);
    set(mRule.home, c.home);
    set(mRule.motorBox, c.motorBox);
    set(mRule.motorOn, c.motorOn);
    set(mRule.motorOff, c.motorOff);
    for (QWidget* w : mRule.moves) set(w, c.moves);
    set(mRule.jogBox, c.jogBox);
    set(mRule.jogEnable, c.jogEnable);
    for (QWidget* w : mRule.jogControls) set(w, c.jogDisable);
}

int GroupMotionPage::groupCall(double timeoutSeconds, int (*fn)(int, const std::string&), bool thenRefresh)
{
    if (!selectGroup()) return api::kErrorBadInput;
    const std::string g = group();
    const int code = CallOnConnection(context(), timeoutSeconds, [&](int s) { return fn(s, g); });
    if (thenRefresh) refresh();
    return code;
}

void GroupMotionPage::statusLine(double timeoutSeconds, bool withCode)
{
    if (!selectGroup()) return;
    const std::string g = group();
    int status = 0;
    int code = 0;
    const int rc = CallOnConnection(context(), timeoutSeconds, [&](int s) {
        code = api::GroupStatusGet(s, g, status);
        return code;
    });
    if (rc == 0 || (withCode && rc != api::kErrorNoSocket)) {
        const QString text = context().GroupStatusText(status);
        const QString number = QString::number(status);
        if (withCode)
            context().log(QString::number(code) + " " + text + " [" + number + "]");
        else
            context().log("\"" + text + "\"  [" + number + "]");
    }
    refresh();
}

void GroupMotionPage::home()
{
    if (mHoming) return;  // a second press while the first search runs
    link::HomingShared& rec = context().controller().homing();
    {
        std::lock_guard lock(rec.mutex);
        rec.HomingGroupName = group();
    }
    rec.HomingRunning.store(1);
    mHoming = true;
    QPointer<GroupMotionPage> self(this);
    context().controller().startHoming();
    while (rec.HomingRunning.load() != 0 && common().StopRequested.load() == 0) WaitWithMessages(200);
    if (!self) return;
    mHoming = false;
    refresh();
}

void GroupMotionPage::moveAbsolute(const std::vector<double>& targets)
{
    if (targets.empty() || targets.size() > 8 || !selectGroup()) return;
    link::MoveAbsShared& rec = context().controller().moveAbs();
    {
        std::lock_guard lock(rec.mutex);
        std::copy(targets.begin(), targets.end(), rec.Targets.begin());
        rec.TargetCount = int(targets.size());
    }
    rec.MoveAbsError.store(0);
    rec.MoveAbsRunning.store(1);
    context().controller().startMoveAbsolute();
    watchAbsoluteMove();
}

// The worker keeps the move's result; it goes to the log pane once the move has ended, so a
// refused move does not pass for a started one.
void GroupMotionPage::watchAbsoluteMove()
{
    auto* timer = new QTimer(this);
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, this, [this, timer] {
        link::MoveAbsShared& rec = context().controller().moveAbs();
        if (rec.MoveAbsRunning.load() != 0) return;
        timer->stop();
        timer->deleteLater();
        const int code = rec.MoveAbsError.load();
        if (code != 0) context().log(Text("stringmovefailed", context().decripte_erreur(code)));
    });
    timer->start();
}

void GroupMotionPage::moveRelative(const std::vector<double>& deltas)
{
    if (deltas.empty() || deltas.size() > 8 || !selectGroup()) return;
    link::MoveRelShared& rec = context().controller().moveRel();
    {
        std::lock_guard lock(rec.mutex);
        std::copy(deltas.begin(), deltas.end(), rec.Deltas.begin());
        rec.DeltaCount = int(deltas.size());
    }
    context().controller().startMoveRelative();
}

int GroupMotionPage::sendJog(const std::vector<double>& velocities, const std::vector<double>& accelerations)
{
    const std::string g = group();
    return CallOnConnection(context(), kJogTimeout,
                            [&](int s) { return api::GroupJogParametersSet(s, g, velocities, accelerations); });
}

void GroupMotionPage::jogPress(const std::vector<double>& velocities, const std::vector<double>& accelerations)
{
    if (!selectGroup()) return;
    mJogHeld = true;
    mStopNeeded = false;
    jogMove(velocities, accelerations);
}

void GroupMotionPage::jogMove(const std::vector<double>& velocities, const std::vector<double>& accelerations)
{
    if (!mJogHeld) return;
    mStopAccelerations = accelerations;
    QPointer<GroupMotionPage> self(this);
    ++mJogCallsWaiting;
    sendJog(velocities, accelerations);
    if (!self) return;
    --mJogCallsWaiting;
    // The hold ended while this call waited: its velocities may have reached the controller
    // after the stop, so stop once more.
    if (mStopNeeded && mJogCallsWaiting == 0) {
        mStopNeeded = false;
        mStopSending = true;
        sendJog(std::vector<double>(velocities.size(), 0.0), mStopAccelerations);
        if (!self) return;
        mStopSending = false;
    }
    disableJogIfDeferred();
}

void GroupMotionPage::disableJogIfDeferred()
{
    if (!mDisableAfterJog || mJogCallsWaiting > 0 || mStopSending) return;
    mDisableAfterJog = false;
    disableJogIfOn();
}

void GroupMotionPage::endJogHold()
{
    if (!mJogHeld) return;
    mJogHeld = false;
    const std::vector<double> acc = mStopAccelerations;
    const std::vector<double> zero(acc.size(), 0.0);
    if (zero.empty()) return;
    if (mJogCallsWaiting > 0) mStopNeeded = true;
    QPointer<GroupMotionPage> self(this);
    mStopSending = true;
    int rc = sendJog(zero, acc);
    if (!self) return;
    // One more try on another connection before the user is told.
    if (rc != 0) rc = sendJog(zero, acc);
    if (!self) return;
    mStopSending = false;
    if (rc != 0) context().log(Text("stringjogstopfailed", QString::fromStdString(group())));
    disableJogIfDeferred();
}

void GroupMotionPage::connectGroupButtons(const GroupButtons& b, double jogEnableTimeout)
{
    connect(b.initialize, &QPushButton::clicked, this, [this] { initializeGroup(); });
    connect(b.kill, &QPushButton::clicked, this, [this] { killGroup(); });
    connect(b.home, &QPushButton::clicked, this, [this] { home(); });
    connect(b.motorOn, &QPushButton::clicked, this, [this] { motorOn(); });
    connect(b.motorOff, &QPushButton::clicked, this, [this] { motorOff(); });
    connect(b.jogEnable, &QPushButton::clicked, this, [this, jogEnableTimeout] { jogEnable(jogEnableTimeout); });
    connect(b.jogDisable, &QPushButton::clicked, this, [this] { jogDisable(); });
}

}  // namespace mvx::maint
