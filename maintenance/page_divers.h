#pragma once
// "Divers": versions and object lists of the controller, hardware status and motion-done
// settings of a positioner, start and kill of a TCL script without waiting, reboot.

#include "maintenancecontext.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace mvx::maint {

class PageDivers : public MaintenancePage {
    Q_OBJECT
public:
    PageDivers(MaintenanceContext& context, QWidget* parent);

    void TabSheet2Show();
    void Button9Click();
    void PositionerMotionDoneGetButtonClick();
    void Button29Click();
    void Button59Click();
    void Button60Click();
    void Button61Click();
    void updateRebootButton();

    void pageShown() override { TabSheet2Show(); }
    void groupsChanged(const link::ControllerGroups& groups) override;

    // The script names of a folder listing: the file name of every line holding ".tcl".
    static QStringList ScriptNamesOf(const std::vector<std::string>& listing);

private:
    std::string positioner() const;

    QLabel* mLibraryVersion = nullptr;   // Label104
    QLabel* mFirmware = nullptr;         // Label107
    QPlainTextEdit* mLists = nullptr;    // RichEdit3
    QComboBox* mPositioner = nullptr;    // ComboBox8
    QPlainTextEdit* mResults = nullptr;  // RichEdit2
    QLineEdit* mDone[5] = {};            // Edit67, Edit68, Edit69, Edit70, Edit87
    QComboBox* mScript = nullptr;        // ComboBox9
    QLineEdit* mTask = nullptr;          // Edit88
    QLineEdit* mArgs = nullptr;          // Edit89
    QLabel* mRunning = nullptr;
    QPushButton* mReboot = nullptr;      // Button61
    QProgressBar* mProgress = nullptr;   // ProgressBar1
    int mHardwareStatus = 0;             // last status read
};

}  // namespace mvx::maint
