#pragma once
// "Général": connection of the API pool and of the file transfer by hand, firmware version,
// reboot, language of the controller-side windows, and the doors to the other windows.

#include "maintenancecontext.h"

#include "link/linktexts.h"

class QButtonGroup;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace mvx::maint {

class PageGeneral : public MaintenancePage {
    Q_OBJECT
public:
    PageGeneral(MaintenanceContext& context, QWidget* parent);

    void Button1Click();
    void Button2Click();
    void Button62Click();
    void Button63Click();
    void Button6Click();
    void Button18Click();
    void Button7Click();
    void Button64Click();
    void BitBtn6Click();
    void SpeedButtonClick(int language);

    // Link console hooks.
    void showAddress(const std::string& address, int port);
    std::string address() const;
    void setApiOpen(bool open);
    // The pool's state: "Connect." only while closed, "Deconnect." while open or after a failed
    // opening, "Reset KVX" only while open.
    void setPoolState(link::PoolState state);
    link::PoolState poolState() const { return mPoolState; }
    void setTransferOpen(bool open);
    void updateRebootButton();

    void pageShown() override;
    void loadSettings(IniFile& ini) override;
    void saveSettings(IniFile& ini) override;

private:
    void openWindow(const char* objectName);
    static void setLocked(QLineEdit* edit, bool locked);

    QLineEdit* mAddress = nullptr;   // Edit1
    QLineEdit* mPort = nullptr;      // Edit2
    QLineEdit* mUser = nullptr;      // UserTxt
    QLineEdit* mPassword = nullptr;  // PassTxt
    QPushButton* mApiConnect = nullptr;
    QPushButton* mApiDisconnect = nullptr;
    QPushButton* mTransferConnect = nullptr;
    QPushButton* mTransferDisconnect = nullptr;
    QPushButton* mReset = nullptr;
    QProgressBar* mProgress = nullptr;  // ProgressBar2
    QToolButton* mThird = nullptr;
    QButtonGroup* mLanguages = nullptr;
    link::PoolState mPoolState = link::PoolState::Closed;
};

}  // namespace mvx::maint
