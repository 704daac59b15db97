#pragma once
// The maintenance window "KVX Control": the page control with the controller's pages, the log
// pane and its buttons, the position display and the settings the window keeps.

#include "maintenancecontext.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;

namespace mvx::maint {

class PageGeneral;

class TFmain_KVX : public QDialog, public MaintenanceContext {
    Q_OBJECT
public:
    TFmain_KVX(QWidget* parent, link::Controller& controller);
    ~TFmain_KVX() override;

    // MaintenanceContext
    link::Controller& controller() override { return mController; }
    void log(const QString& text) override;
    void clearLog() override;
    QString decripte_erreur(int code) override;
    QString GroupStatusText(int status) override;
    bool logError(int code) override;
    link::ControllerGroups groups() const override { return mGroups; }
    void FillPositionerList(QComboBox* box) override;
    std::string systemIniPath() const override;
    bool setThreadGroupName(const std::string& name) override;
    std::string threadGroupName() const override;
    std::optional<int> readGroupStatus(const std::string& group) override;
    void startPositionReading(const std::string& group, int count) override;
    void stopPositionReading() override;
    void restartPositionReading(const std::string& group, int count) override;
    bool positionReadingOn() const override;
    int controllerModel() const override;
    IniFile& settings() override;

    // Handlers.
    void affiche(const QString& text) { log(text); }
    void Button16Click();
    void Button82Click();
    void Button3Click();
    void Timer2Timer();

    // The reboot of the controller with a progress bar (the link's reboot unless replaced;
    // an empty handler disables the reboot buttons).
    using RebootHandler = std::function<void(QProgressBar* bar)>;
    void setRebootHandler(RebootHandler handler);
    bool rebootAvailable() const override { return static_cast<bool>(mReboot); }
    void reboot(QProgressBar* bar) override;
    // Stops the digital I/O poll ("Timer1" of the I/O pages): at close and during a reboot.
    void stopIoPoll();

    // Where "Sauve" writes; by default the save dialog (filter "Measures|*.MES|All|*.*").
    void setSaveFileChooser(std::function<QString()> chooser) { mSaveChooser = std::move(chooser); }

    // The connection buttons read the pool's and the file transfer's state again (after another
    // window, such as the file browser, used the link).
    void TakeLinkState();

    // Shows one window of the program modally (by objectName, e.g. "Ftcl"); false when none.
    bool showProgramWindow(const QString& objectName) override;

    // For tests and the pages.
    QTabWidget* pageControl() const { return mPages; }
    QWidget* page(const QString& objectName) const;
    bool pageVisible(const QString& objectName) const;
    QPlainTextEdit* logPane() const { return mLog; }
    QTimer* positionTimer() const { return mTimer2; }
    PageGeneral* generalPage() const { return mGeneral; }

    // The window's part of the closing steps (also run by closing it).
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Slot {
        QString name;
        QWidget* widget = nullptr;
        MaintenancePage* page = nullptr;
    };
    void FormCreate();
    void FormShow();
    void FormClose();
    void currentPageChanged(int index);
    void installLinkConsole();
    void broadcastGroups();
    MaintenancePage* currentPage() const;

    link::Controller& mController;
    QTabWidget* mPages = nullptr;
    QPlainTextEdit* mLog = nullptr;
    QPushButton* mClear = nullptr;
    QPushButton* mSave = nullptr;
    QPushButton* mClose = nullptr;
    QTimer* mTimer2 = nullptr;
    std::vector<Slot> mSlots;
    PageGeneral* mGeneral = nullptr;
    int mCurrent = -1;
    link::ControllerGroups mGroups;
    std::string mReadingGroup;
    RebootHandler mReboot;
    std::function<QString()> mSaveChooser;
    bool mClosing = false;
    bool mNotifyingStatus = false;
    bool mGeometryRead = false;
};

// The window, once created (null before and after).

// Built-in texts of the console (registered by the window's constructor; safe to call again).
void registerMaintenanceTexts();

}  // namespace mvx::maint
