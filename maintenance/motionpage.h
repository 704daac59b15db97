#pragma once
// The common part of the group motion pages ("Single", "Multiples", "XY", "XYZ"): the group box,
// the initialise / kill / home / motor / jog-mode handlers, the status line, the group-status
// rule on the page's own controls, the moves through the workers, and the held jog (a stop is
// always sent when the hold ends, whatever ends it). GUI thread only.

#include "maintenancecontext.h"

#include <QPointer>

#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;

namespace mvx::maint {

class GroupMotionPage : public MaintenancePage {
    Q_OBJECT
public:
    enum class Kind { Single, Multiple, XY, XYZ };
    GroupMotionPage(MaintenanceContext& context, QWidget* parent, Kind kind);

    void pageShown() override;
    void pageHidden() override;
    void windowClosing() override;
    void windowShown(int model) override;
    void groupsChanged(const link::ControllerGroups& groups) override;
    void groupStatusChanged(const std::string& group, std::optional<int> status) override;

    // The page's group (its combo box text).
    std::string group() const;
    // Re-reads the group status and applies the rule ("Enter").
    void refresh();
    // Jog mode is on (the disable button is enabled): turn it off on the group.
    void disableJogIfOn();
    // A jog hold is running (an arrow or a joystick is pressed).
    bool jogHeld() const { return mJogHeld; }

protected:
    // Controls switched by the group-status rule.
    struct RuleControls {
        QWidget* initialize = nullptr;
        QWidget* home = nullptr;
        QWidget* motorBox = nullptr;
        QWidget* motorOn = nullptr;
        QWidget* motorOff = nullptr;
        std::vector<QWidget*> moves;
        QWidget* jogBox = nullptr;
        QWidget* jogEnable = nullptr;
        std::vector<QWidget*> jogControls;  // the disable button, arrows, joystick panels
    };

    // Called after the group changed (reload grid, labels...).
    virtual void groupChanged() {}
    // How many positions the reader reads on this page.
    virtual int positionCount() const = 0;

    // One call on the page's group: ThreadGroupName := group first; then refresh when asked.
    int groupCall(double timeoutSeconds, int (*fn)(int, const std::string&), bool thenRefresh = true);
    void initializeGroup() { groupCall(2, &InitializeCall); }
    void killGroup() { groupCall(1, &KillCall); }
    void motorOn() { groupCall(1, &MotionEnableCall); }
    void motorOff() { groupCall(1, &MotionDisableCall); }
    void jogEnable(double timeoutSeconds) { groupCall(timeoutSeconds, &JogEnableCall); }
    void jogDisable() { endJogHold(); groupCall(1, &JogDisableCall); }
    // Status of the group into the log: Single form "\"text\"  [n]", Multiples form "code text [n]".
    void statusLine(double timeoutSeconds, bool withCode);
    // Home search through the homing worker, waiting with events; then refresh.
    void home();
    // Moves through the workers, not waiting. A wrong count (0 or more than 8) sends nothing.
    void moveAbsolute(const std::vector<double>& targets);
    void moveRelative(const std::vector<double>& deltas);

    // Jog hold: the press sends the velocities, the end of the hold sends zero velocities with
    // `stopAccelerations`. A press whose call was still waiting when the hold ended is followed
    // by one more stop, so the last word the controller hears is always the stop.
    void jogPress(const std::vector<double>& velocities, const std::vector<double>& accelerations);
    void jogMove(const std::vector<double>& velocities, const std::vector<double>& accelerations);
    void endJogHold();

    void hideEvent(QHideEvent* event) override;
    // The group buttons every motion page has, wired to the group calls above.
    struct GroupButtons {
        QPushButton* initialize;
        QPushButton* kill;
        QPushButton* home;
        QPushButton* motorOn;
        QPushButton* motorOff;
        QPushButton* jogEnable;
        QPushButton* jogDisable;
    };
    void connectGroupButtons(const GroupButtons& b, double jogEnableTimeout);

    // Wires mGroupCombo: a new group becomes ThreadGroupName, is read by the position reader
    // and refreshed.
    void connectGroupCombo();

    QComboBox* mGroupCombo = nullptr;
    RuleControls mRule;

private:
    static int InitializeCall(int s, const std::string& g);
    static int KillCall(int s, const std::string& g);
    static int MotionEnableCall(int s, const std::string& g);
    static int MotionDisableCall(int s, const std::string& g);
    static int JogEnableCall(int s, const std::string& g);
    static int JogDisableCall(int s, const std::string& g);
    bool selectGroup();
    void fillGroupCombo(const link::ControllerGroups& groups);
    void applyRule(std::optional<int> status);
    int sendJog(const std::vector<double>& velocities, const std::vector<double>& accelerations);
    void disableJogIfDeferred();
    void watchAbsoluteMove();

    bool mJogHeld = false;
    int mJogCallsWaiting = 0;
    bool mStopNeeded = false;  // a hold ended while a jog call was waiting
    bool mStopSending = false;
    bool mDisableAfterJog = false;  // jog mode goes off once the waiting jog calls have returned
    std::vector<double> mStopAccelerations;
    bool mHoming = false;
    Kind mKind;
};


}  // namespace mvx::maint
