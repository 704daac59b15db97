#include "connectdialog.h"

#include "link/controller.h"
#include "link/detect.h"
#include "link/transfer.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/linksettings.h"
#include "app/language.h"
#include "translator/numtext.h"
#include "translator/texts.h"
#include "core/guard.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace mvx::linkui {

using namespace mvx::link;

namespace {

TFconnect_KVX_GB* gDialog = nullptr;

struct OwnText {
    const char* french;
    const char* english;
};
constexpr OwnText kCaption{"Détection du type et Connexion au Contrôleur KVX", "Controller Type Detection and Connection"};
constexpr OwnText kRadio{"Type de contrôleur détecté", "Detected Controller Type "};
constexpr OwnText kConnection{"Connexion", "Connection"};
constexpr OwnText kConnect{"Connecter", "Connect"};
constexpr OwnText kHost{"Port HOTE, Adresse:", "HOST port, Address:"};
constexpr OwnText kRemote{"Port REMOTE, Adresse:", "REMOTE port, Address:"};
constexpr OwnText kIgnore{"Ignorer", "Ignore"};
constexpr OwnText kIgnoreLabel{"Continuer en mode Simulation", "Continue in Simulation mode"};
constexpr OwnText kClose{"Fermer", "Close"};
constexpr OwnText kCloseLabel{"Quitter le programme", "Quit program"};
constexpr OwnText kHide{"Ne plus afficher cette fenêtre", "Do not show this window again"};
constexpr OwnText kMethods{"Méthode de détection", "Detection Method"};
constexpr OwnText kPresent{"KVX présent ?", "KVX present ?"};
constexpr OwnText kReboot{"Temporisation au reboot", "Temporisation at reboot"};
constexpr OwnText kNever{"Jamais", "Never"};
constexpr OwnText kAllways{"Toujours", "Allways"};

QString pick(const OwnText& t, int language) { return QString::fromUtf8(language == 1 ? t.french : t.english); }

template <class F>
void guarded(F&& f)
{
    Guarded("connection dialog", std::forward<F>(f));
}

}  // namespace

TFconnect_KVX_GB::TFconnect_KVX_GB(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    registerTransferTexts();
    setObjectName("Fconnect_KVX_GB");
    setModal(true);
    auto* top = new QVBoxLayout(this);

    auto* flags = new QHBoxLayout;
    mFrench = new QPushButton("FR", this);
    mFrench->setObjectName("SpeedButtonFrench");
    mFrench->setToolTip("Speak french");
    mEnglish = new QPushButton("EN", this);
    mEnglish->setObjectName("SpeedButtonEnglish");
    mEnglish->setToolTip("Speak English");
    flags->addWidget(mFrench);
    flags->addWidget(mEnglish);
    flags->addStretch();
    top->addLayout(flags);
    mLabelInfo = new QLabel(this);
    mLabelInfo->setObjectName("LabelInfo");
    top->addWidget(mLabelInfo);

    mRadioGroup = new QGroupBox(this);
    mRadioGroup->setObjectName("RadioGroup1");
    mRadioGroup->setProperty("radioGroup", true);
    auto* radios = new QVBoxLayout(mRadioGroup);
    mItems = new QButtonGroup(this);
    mItems->setExclusive(true);
    for (int i = 0; i < 6; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(kControllerTypeItems[i].caption), mRadioGroup);
        b->setObjectName(QString("RadioItem%1").arg(i));
        mItems->addButton(b, i);
        radios->addWidget(b);
    }
    // Only detection selects a type.
    mRadioGroup->setEnabled(false);
    top->addWidget(mRadioGroup);

    mConnection = new QGroupBox(this);
    mConnection->setObjectName("GroupBoxConnection");
    auto* grid = new QGridLayout(mConnection);
    mLabelHost = new QLabel(mConnection);
    mLabelHost->setObjectName("LabelHost");
    mAddress = new QLineEdit(mConnection);
    mAddress->setObjectName("EditAddress");
    mConnect = new QPushButton(mConnection);
    mConnect->setObjectName("BitBtnConnect");
    mLabelRemote = new QLabel(mConnection);
    mLabelRemote->setObjectName("LabelRemote");
    mLabelFixed = new QLabel(QString::fromUtf8(kFixedAddress), mConnection);
    mLabelFixed->setObjectName("LabelFixedAddress");
    mConnectFixed = new QPushButton(mConnection);
    mConnectFixed->setObjectName("BitBtnConnectFixed");
    grid->addWidget(mLabelHost, 0, 0);
    grid->addWidget(mAddress, 0, 1);
    grid->addWidget(mConnect, 0, 2);
    grid->addWidget(mLabelRemote, 1, 0);
    grid->addWidget(mLabelFixed, 1, 1);
    grid->addWidget(mConnectFixed, 1, 2);
    top->addWidget(mConnection);

    mContinueGroup = new QGroupBox(this);
    mContinueGroup->setObjectName("GroupBoxContinue");
    auto* cont = new QHBoxLayout(mContinueGroup);
    mAddressCopy = new QLineEdit(mContinueGroup);
    mAddressCopy->setObjectName("EditAddressCopy");
    mAddressCopy->setReadOnly(true);
    mContinue = new QPushButton("Continue", mContinueGroup);
    mContinue->setObjectName("BitBtnContinue");
    cont->addWidget(mAddressCopy);
    cont->addWidget(mContinue);
    top->addWidget(mContinueGroup);

    auto* bottom = new QGridLayout;
    mIgnore = new QPushButton(this);
    mIgnore->setObjectName("BitBtnIgnore");
    mLabelIgnore = new QLabel(this);
    mLabelIgnore->setObjectName("LabelIgnore");
    mClose = new QPushButton(this);
    mClose->setObjectName("BitBtnClose");
    mLabelClose = new QLabel(this);
    mLabelClose->setObjectName("LabelClose");
    bottom->addWidget(mIgnore, 0, 0);
    bottom->addWidget(mLabelIgnore, 0, 1);
    bottom->addWidget(mClose, 1, 0);
    bottom->addWidget(mLabelClose, 1, 1);
    top->addLayout(bottom);
    mHide = new QCheckBox(this);
    mHide->setObjectName("CheckBoxHide");
    top->addWidget(mHide);

    mPopup = new QMenu(this);
    mPopup->setObjectName("PopupMenu1");
    mMethods = mPopup->addMenu(QString());
    mMethods->setObjectName("MenuDetectionMethod");
    mMethodGroup = new QActionGroup(this);
    mMethodGroup->setExclusive(true);
    for (int m = 0; m < 7; ++m) {
        QAction* a = mMethods->addAction(QString::fromUtf8(kDetectionMethodCaptions[m]));
        a->setObjectName(QString("MenuMethod%1").arg(m));
        a->setCheckable(true);
        a->setData(m);
        mMethodGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, m] { guarded([&] { DetectionMethodClick(m); }); });
    }
    connect(mMethods, &QMenu::aboutToShow, this, [this] { tickDetectionMethod(); });
    mPresent = mPopup->addAction(QString());
    mPresent->setObjectName("MenuKvxPresent");
    mRebootDelay = mPopup->addAction(QString());
    mRebootDelay->setObjectName("MenuRebootDelay");
    QAction* local = mPopup->addAction("Local directory (KVX-D)");
    local->setObjectName("MenuLocalDirectory");
    local->setVisible(false);

    connect(mConnect, &QPushButton::clicked, this, [this] { guarded([&] { BitBtnConnectClick(); }); });
    connect(mConnectFixed, &QPushButton::clicked, this, [this] { guarded([&] { BitBtnConnectFixedClick(); }); });
    connect(mIgnore, &QPushButton::clicked, this, [this] { guarded([&] { BitBtnIgnoreClick(); }); });
    connect(mClose, &QPushButton::clicked, this, [this] { guarded([&] { BitBtnCloseClick(); }); });
    connect(mContinue, &QPushButton::clicked, this, [this] { guarded([&] { BitBtnContinueClick(); }); });
    connect(mHide, &QCheckBox::clicked, this, [this] { guarded([&] { CheckBoxHideClick(); }); });
    connect(mPresent, &QAction::triggered, this, [this] { guarded([&] { MenuKvxPresentClick(); }); });
    connect(mRebootDelay, &QAction::triggered, this, [this] { guarded([&] { MenuRebootDelayClick(); }); });
    connect(mFrench, &QPushButton::clicked, this, [this] { guarded([&] { SpeakFrenchClick(); }); });
    connect(mEnglish, &QPushButton::clicked, this, [this] { guarded([&] { SpeakEnglishClick(); }); });
    connect(mAddress, &QLineEdit::textEdited, this, [this](const QString& t) {
        // The controller address follows the edit at once.
        common().ControllerIp = t.toStdString();
        mController.connection().DialogAddress = t.toStdString();
    });

    mController.loadConnectionSettings();
    mHide->setChecked(mController.connection().HideDialog);
    applyOwnTexts(common().LanguageIndex == 1 ? 1 : 2);
    // Every load of the controller side starts from the texts of its language.
    SetBuiltinTextsHook(this, [this](int language) { applyOwnTexts(language == 1 ? 1 : 2); });
    RememberWindowPosition(this, false);
}

void TFconnect_KVX_GB::applyOwnTexts(int language)
{
    // These are the dialog's built-in texts for the language, which its language file may replace.
    auto own = [language](QObject* o, const OwnText& t, const char* prefix = "") {
        SetBuiltinText(o, QString::fromUtf8(prefix) + pick(t, language));
    };
    own(this, kCaption);
    own(mRadioGroup, kRadio);
    own(mConnection, kConnection);
    own(mConnect, kConnect, "&");
    own(mConnectFixed, kConnect);
    own(mLabelHost, kHost);
    own(mLabelRemote, kRemote);
    own(mIgnore, kIgnore, "&");
    own(mLabelIgnore, kIgnoreLabel);
    own(mClose, kClose, "&");
    own(mLabelClose, kCloseLabel);
    own(mHide, kHide);
    own(mMethods, kMethods);
    own(mPresent, kPresent);
    own(mRebootDelay, kReboot);
    const auto actions = mMethodGroup->actions();
    own(actions[0], kNever);
    own(actions[1], kAllways);
    mFrench->setVisible(language != 1);
    mEnglish->setVisible(language == 1);
}

void TFconnect_KVX_GB::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    auto& s = mController.connection();
    mLabelInfo->clear();
    const QString address = QString::fromStdString(common().ControllerIp);
    mAddress->setText(address);
    mAddressCopy->setText(address);
    tickDetectionMethod();
    if (s.RadioItem >= 0 && s.RadioItem < 6) {
        mItems->button(s.RadioItem)->setChecked(true);
    } else {
        mItems->setExclusive(false);
        for (auto* b : mItems->buttons()) b->setChecked(false);
        mItems->setExclusive(true);
    }
    const bool selected = s.RadioItem >= 0;
    mConnection->setVisible(!selected);
    mContinueGroup->setVisible(selected);
}

void TFconnect_KVX_GB::contextMenuEvent(QContextMenuEvent* e)
{
    mPopup->popup(e->globalPos());
}

void TFconnect_KVX_GB::tickDetectionMethod()
{
    const int mode = common().DetectionMode;
    const auto actions = mMethodGroup->actions();
    actions[(mode >= 0 && mode < 7) ? mode : 0]->setChecked(true);
}

void TFconnect_KVX_GB::BitBtnConnectClick()
{
    mController.connection().ConnectionDialogResult = 0;
    mController.connection().DialogAddress = mAddress->text().toStdString();
    common().ControllerIp = mController.connection().DialogAddress;
    accept();
}

void TFconnect_KVX_GB::BitBtnConnectFixedClick()
{
    mController.connection().ConnectionDialogResult = 1;
    accept();
}

void TFconnect_KVX_GB::BitBtnIgnoreClick()
{
    mController.connection().ConnectionDialogResult = 2;
    accept();
}

void TFconnect_KVX_GB::BitBtnCloseClick()
{
    mController.connection().ConnectionDialogResult = 3;
    mController.connection().QuitRequested = true;
    reject();
}

void TFconnect_KVX_GB::BitBtnContinueClick()
{
    // "Continue" on the Simulation item means simulation, not a new connection attempt.
    if (mController.connection().RadioItem == ControllerTypeItemForModel(ModelNone))
        mController.connection().ConnectionDialogResult = 2;
    accept();
}

void TFconnect_KVX_GB::CheckBoxHideClick()
{
    if (GetControllerModel() == ModelNone) return;
    mController.connection().HideDialog = mHide->isChecked();
    if (IniFile* ini = SettingsIni()) link::LinkSettings::Store(*ini, &link::LinkSettings::HideConnectDialog, mHide->isChecked());
}

void TFconnect_KVX_GB::DetectionMethodClick(int mode)
{
    common().DetectionMode = mode;
    if (IniFile* ini = SettingsIni()) link::LinkSettings::Store(*ini, &link::LinkSettings::DetectionMode, mode);
}

void TFconnect_KVX_GB::MenuKvxPresentClick()
{
    setCursor(Qt::WaitCursor);
    const bool present = mController.present(common().ControllerIp, 500);
    unsetCursor();
    ShowMsg(PresenceReportText(present));
}

void TFconnect_KVX_GB::MenuRebootDelayClick()
{
    auto& s = mController.connection();
    std::string value = num::integer(s.RebootWaitMs);
    if (!InputQueryDialog(texts::get("StringRebootCaption"), texts::get("StringWaitReboot"), value)) return;
    const auto v = num::parseIntStrict(value);
    if (!v || *v < 0 || *v > 3600000) return;
    s.RebootWaitMs = static_cast<int>(*v);
    if (IniFile* ini = SettingsIni())
        link::LinkSettings::Store(*ini, &link::LinkSettings::RebootWaitMs, static_cast<int>(*v));
}

void TFconnect_KVX_GB::speak(int language)
{
    applyOwnTexts(language);
    SetLanguage(language);
    LoadLanguage(language);
}

void TFconnect_KVX_GB::SpeakFrenchClick() { speak(1); }
void TFconnect_KVX_GB::SpeakEnglishClick() { speak(2); }

TFconnect_KVX_GB* InstallConnectDialog(QWidget* parent, link::Controller& controller)
{
    if (!gDialog) {
        gDialog = new TFconnect_KVX_GB(parent, controller);
        RegisterTranslatedWindow(texts::Family::Controller, gDialog);
        QObject::connect(gDialog, &QObject::destroyed, [&controller] {
            gDialog = nullptr;
            controller.setConnectionDialogShower({});
        });
        controller.setConnectionDialogShower([] {
            if (gDialog) gDialog->exec();
        });
    }
    return gDialog;
}

}  // namespace mvx::linkui
