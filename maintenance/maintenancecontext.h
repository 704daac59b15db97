#pragma once
// What every page of the maintenance window ("KVX Control") gets from the window: the log pane,
// error texts, group and positioner lists, the group-status rule, the position display and the
// controller model. Pages are MaintenancePage widgets; the window calls their hooks.

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/controllerconfig.h"
#include "link/controller.h"

class QComboBox;
class QProgressBar;

namespace mvx {
class IniFile;
}

namespace mvx::maint {

// Which controls of a motion page are enabled for a group status. `status` empty: the status
// could not be read; every motion control is then disabled, the user can re-read by re-entering.
struct GroupControlStates {
    bool initialize = false;  // "Initialise le groupe"
    bool home = false;        // "Origine"
    bool motorBox = false;    // "Moteur on/off" box
    bool motorOn = false;     // "moteur on"
    bool motorOff = false;    // "Moteur off"
    bool moves = false;       // "Relatif" and "Absolu" boxes and their buttons
    bool jogBox = false;      // "Jog" box
    bool jogEnable = false;   // "Activer déplacement manuel"
    bool jogDisable = false;  // "Desactiver déplacement manuel", jog arrows, joystick panels
};
GroupControlStates GroupControlsFor(std::optional<int> status);

// Fixed notation with 6 decimals, as the position fields show a position.
QString PositionText(double value);

class MaintenanceContext {
public:
    virtual ~MaintenanceContext() = default;

    // The controller the console works on.
    virtual link::Controller& controller() = 0;
    // One line appended to the log pane (RichEdit1).
    virtual void log(const QString& text) = 0;
    virtual void clearLog() = 0;

    // The controller's text for an error code (ErrorStringGet on a pooled connection, 1 s).
    // When no connection or no text can be had, a line naming the code.
    virtual QString decripte_erreur(int code) = 0;
    // GroupStatusStringGet text, or "Probleme de connection".
    virtual QString GroupStatusText(int status) = 0;
    // Logs decripte_erreur(code) when code != 0; returns code == 0.
    virtual bool logError(int code) = 0;

    // The group lists of the controller's configuration (combo boxes CBsingle, CBXY...).
    virtual link::ControllerGroups groups() const = 0;
    // Every positioner of the configuration, "GROUP.POS", into the box; text = first item.
    virtual void FillPositionerList(QComboBox* box) = 0;
    // Local "system.ini" of the program folder.
    virtual std::string systemIniPath() const = 0;

    // The group (or "GROUP.POS") that the next call acts on; false and logged when too long.
    virtual bool setThreadGroupName(const std::string& name) = 0;
    virtual std::string threadGroupName() const = 0;

    // Reads GroupStatusGet for a group on a pooled connection (1 s); logs its error. Every page's
    // groupStatusChanged() is then called with the result (empty when it could not be read).
    virtual std::optional<int> readGroupStatus(const std::string& group) = 0;

    // Position display. start: positions of `group` read by the Positions worker, `count` of
    // them (1..8), and the 200 ms display timer on; the shown page's positionsChanged() is called
    // at each tick. A worker reading another group is stopped first. stop: reading and timer off.
    // restart: stop, 200 ms wait, start (the step test's way).
    virtual void startPositionReading(const std::string& group, int count) = 0;
    virtual void stopPositionReading() = 0;
    virtual void restartPositionReading(const std::string& group, int count) = 0;
    virtual bool positionReadingOn() const = 0;

    // Controller model code (mvx::ControllerModelCode).
    virtual int controllerModel() const = 0;

    // The settings file (never null while the window lives).
    virtual IniFile& settings() = 0;

    // The controller's reboot, its progress on `bar` (may be null); rebootAvailable() is false
    // when the window has no reboot (the reboot buttons are then disabled).
    virtual bool rebootAvailable() const = 0;
    virtual void reboot(QProgressBar* bar) = 0;
    // Shows another window of the program modally, by objectName ("Ftcl"); false when none.
    virtual bool showProgramWindow(const QString& objectName) = 0;
};

// A page of the window. The window calls the hooks on the GUI thread; none may throw.
class MaintenancePage : public QWidget {
    Q_OBJECT
public:
    MaintenancePage(MaintenanceContext& context, QWidget* parent) : QWidget(parent), mContext(context) {}

    // Its tab became current / stopped being current.
    virtual void pageShown() {}
    virtual void pageHidden() {}
    // A status of `group` was read by some page (empty: unreadable).
    virtual void groupStatusChanged(const std::string& group, std::optional<int> status)
    {
        (void)group;
        (void)status;
    }
    // The group lists were (re)read from the controller's configuration: refill the group boxes.
    virtual void groupsChanged(const link::ControllerGroups& groups) { (void)groups; }
    // Display timer tick while this page is shown and reading is on (positions 1..count).
    virtual void positionsChanged(std::span<const double> positions) { (void)positions; }
    // The window is shown (after the connection steps); the controller model is known.
    virtual void windowShown(int model) { (void)model; }
    // Settings: read once after construction; written at close. A page reports its own invalid
    // fields (message box) and still writes the others.
    virtual void loadSettings(IniFile& ini) { (void)ini; }
    virtual void saveSettings(IniFile& ini) { (void)ini; }
    // The window closes: end what must not outlive it (jog mode, running tests).
    virtual void windowClosing() {}

protected:
    MaintenanceContext& context() { return mContext; }

private:
    MaintenanceContext& mContext;
};

using PageFactory = std::function<MaintenancePage*(MaintenanceContext&, QWidget*)>;

// Plugs a page class into the window's page of that objectName ("TSSingle", "TSIO"...).
// Call before the window is created; a later registration of the same name replaces it.
void registerMaintenancePage(const char* objectName, PageFactory factory);

}  // namespace mvx::maint
