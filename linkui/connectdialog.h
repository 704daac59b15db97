#pragma once
// The detection and connection dialog TFconnect_KVX_GB: shows the detected controller type,
// lets the user connect to a typed or the fixed address, continue, go on in simulation or quit,
// and holds the presence-check menu. Its state lives in connectionState() (detect.h), so the
// start-up connection reads the result without the widgets.

#include "link/controller.h"
#include <QDialog>

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace mvx::link {
class Controller;
}
class QRadioButton;

namespace mvx::linkui {

class TFconnect_KVX_GB : public QDialog {
public:
    TFconnect_KVX_GB(QWidget* parent, link::Controller& controller);

    // The dialog's own texts in French (1) or English (2).
    void applyOwnTexts(int language);
    // Handlers, named after the components.
    void BitBtnConnectClick();
    void BitBtnConnectFixedClick();
    void BitBtnIgnoreClick();
    void BitBtnCloseClick();
    void BitBtnContinueClick();
    void CheckBoxHideClick();
    void MenuKvxPresentClick();
    void MenuRebootDelayClick();
    void DetectionMethodClick(int mode);
    void SpeakFrenchClick();
    void SpeakEnglishClick();

    QMenu* popupMenu() const { return mPopup; }

protected:
    void showEvent(QShowEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void speak(int language);
    void tickDetectionMethod();

    QGroupBox* mRadioGroup = nullptr;
    QButtonGroup* mItems = nullptr;
    QGroupBox* mConnection = nullptr;
    QGroupBox* mContinueGroup = nullptr;
    QLineEdit* mAddress = nullptr;
    QLineEdit* mAddressCopy = nullptr;
    QLabel* mLabelHost = nullptr;
    QLabel* mLabelRemote = nullptr;
    QLabel* mLabelFixed = nullptr;
    QLabel* mLabelIgnore = nullptr;
    QLabel* mLabelClose = nullptr;
    QLabel* mLabelInfo = nullptr;
    QPushButton* mConnect = nullptr;
    QPushButton* mConnectFixed = nullptr;
    QPushButton* mIgnore = nullptr;
    QPushButton* mClose = nullptr;
    QPushButton* mContinue = nullptr;
    QPushButton* mFrench = nullptr;
    QPushButton* mEnglish = nullptr;
    QCheckBox* mHide = nullptr;
    QMenu* mPopup = nullptr;
    QMenu* mMethods = nullptr;
    QAction* mPresent = nullptr;
    QAction* mRebootDelay = nullptr;
    QActionGroup* mMethodGroup = nullptr;

private:
    link::Controller& mController;
};

// Creates the dialog (once) and makes `controller`'s detection show it modally. Returns it.
TFconnect_KVX_GB* InstallConnectDialog(QWidget* parent, link::Controller& controller);

}  // namespace mvx::linkui
