#include "page_general.h"

#include "maintenancecontext.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "app/language.h"
#include "link/api.h"
#include "link/detect.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "translator/numtext.h"
#include "translator/texts.h"
#include "consolesettings.h"

#include <QButtonGroup>
#include <QFile>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace mvx::maint {
namespace {

std::string withoutBlanks(const QString& text)
{
    std::string s = text.toStdString();
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

QLineEdit* edit(QWidget* parent, const char* name, const QString& text)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    return e;
}

}  // namespace

PageGeneral::PageGeneral(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    auto* layout = new QVBoxLayout(this);

    auto* api = new QGroupBox(this);
    auto* apiLayout = new QGridLayout(api);
    mAddress = edit(api, "Edit1", QString::fromStdString(common().ControllerIp));
    mPort = edit(api, "Edit2", "5001");
    mPort->setReadOnly(true);
    mApiConnect = button(api, "Button1", "Connect.");
    mApiDisconnect = button(api, "Button2", "Deconnect.");
    apiLayout->addWidget(new QLabel(QString::fromUtf8("Addresse IP KVX:"), api), 0, 0);
    apiLayout->addWidget(mAddress, 0, 1);
    apiLayout->addWidget(mApiConnect, 0, 2);
    apiLayout->addWidget(new QLabel("Port KVX:", api), 1, 0);
    apiLayout->addWidget(mPort, 1, 1);
    apiLayout->addWidget(mApiDisconnect, 1, 2);
    layout->addWidget(api);

    auto* transfer = new QGroupBox(this);
    auto* trLayout = new QGridLayout(transfer);
    mUser = edit(transfer, "UserTxt", QString::fromStdString(common().FtpUser));
    mPassword = edit(transfer, "PassTxt", QString::fromStdString(common().FtpPassword));
    mPassword->setEchoMode(QLineEdit::Password);
    mTransferConnect = button(transfer, "Button62", "Connect.");
    mTransferDisconnect = button(transfer, "Button63", "Deconnect.");
    trLayout->addWidget(new QLabel("User", transfer), 0, 0);
    trLayout->addWidget(mUser, 0, 1);
    trLayout->addWidget(mTransferConnect, 0, 2);
    trLayout->addWidget(new QLabel("Password", transfer), 1, 0);
    trLayout->addWidget(mPassword, 1, 1);
    trLayout->addWidget(mTransferDisconnect, 1, 2);
    layout->addWidget(transfer);

    auto* tools = new QGridLayout;
    auto* params = button(this, "Button7", "Parametres");
    auto* gathering = button(this, "Button64", "Fichiers trajectoires");
    auto* tcl = button(this, "Bitbtn6", "Scripts TCL");
    auto* firmware = button(this, "Button6", "Firmware Version");
    mReset = button(this, "Button18", "Reset KVX");
    mReset->setStyleSheet("color: red;");
    tools->addWidget(params, 0, 0);
    tools->addWidget(gathering, 0, 1);
    tools->addWidget(tcl, 0, 2);
    tools->addWidget(firmware, 1, 0);
    tools->addWidget(mReset, 1, 1);
    layout->addLayout(tools);
    mProgress = new QProgressBar(this);
    mProgress->setObjectName("ProgressBar2");
    mProgress->setRange(0, 100);
    mProgress->hide();
    layout->addWidget(mProgress);

    auto* langs = new QHBoxLayout;
    mLanguages = new QButtonGroup(this);
    mLanguages->setExclusive(true);
    const char* names[] = {"SpeedButton1", "SpeedButton2", "SpeedButton3"};
    const char* captions[] = {"Français", "English", "Autre"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(names[i]);
        b->setText(QString::fromUtf8(captions[i]));
        b->setCheckable(true);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        mLanguages->addButton(b, i + 1);
        langs->addWidget(b);
        if (i == 2) mThird = b;
    }
    if (QAbstractButton* current = mLanguages->button(common().LanguageIndex.load())) current->setChecked(true);
    // A language change from any window presses the button of the new language.
    AddLanguageHook(texts::Family::Controller, this, [this](int n) {
        if (QAbstractButton* b = mLanguages->button(n)) b->setChecked(true);
    });
    langs->addStretch(1);
    layout->addLayout(langs);

    auto* manual = new QGroupBox("Manual Control", this);
    manual->setObjectName("RadioGroup2");
    manual->setProperty("radioGroup", true);
    auto* manualLayout = new QVBoxLayout(manual);
    auto* first = new QRadioButton("Group / Group", manual);
    first->setChecked(true);
    manualLayout->addWidget(first);
    manualLayout->addWidget(new QRadioButton("Halbrek Style", manual));
    layout->addWidget(manual);
    layout->addStretch(1);

    connect(mApiConnect, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(mApiDisconnect, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(mTransferConnect, &QPushButton::clicked, this, [this] { Button62Click(); });
    connect(mTransferDisconnect, &QPushButton::clicked, this, [this] { Button63Click(); });
    connect(firmware, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(mReset, &QPushButton::clicked, this, [this] { Button18Click(); });
    connect(params, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(gathering, &QPushButton::clicked, this, [this] { Button64Click(); });
    connect(tcl, &QPushButton::clicked, this, [this] { BitBtn6Click(); });
    connect(mLanguages, &QButtonGroup::idClicked, this, [this](int id) { SpeedButtonClick(id); });

    setPoolState(this->context().controller().poolOpen() ? link::PoolState::Open : this->context().controller().lastPoolState());
    setTransferOpen(this->context().controller().transferConnected());
}

void PageGeneral::setLocked(QLineEdit* e, bool locked)
{
    e->setReadOnly(locked);
    QPalette p = e->palette();
    const QPalette standard;
    p.setColor(QPalette::Base, standard.color(locked ? QPalette::Button : QPalette::Base));
    e->setPalette(p);
}

void PageGeneral::setApiOpen(bool open) { setPoolState(open ? link::PoolState::Open : link::PoolState::Closed); }

void PageGeneral::setPoolState(link::PoolState state)
{
    mPoolState = state;
    setLocked(mAddress, state == link::PoolState::Open);
    mApiConnect->setEnabled(state == link::PoolState::Closed);
    mApiDisconnect->setEnabled(state != link::PoolState::Closed);
    updateRebootButton();
}

void PageGeneral::setTransferOpen(bool open)
{
    setLocked(mUser, open);
    setLocked(mPassword, open);
    mTransferConnect->setEnabled(!open);
    mTransferDisconnect->setEnabled(open);
}

void PageGeneral::updateRebootButton()
{
    mReset->setEnabled(context().rebootAvailable() && mPoolState == link::PoolState::Open);
}

void PageGeneral::showAddress(const std::string& address, int port)
{
    mAddress->setText(QString::fromStdString(address));
    mPort->setText(QString::fromStdString(num::integer(port)));
}

std::string PageGeneral::address() const { return withoutBlanks(mAddress->text()); }

void PageGeneral::pageShown() { context().stopPositionReading(); }

void PageGeneral::loadSettings(IniFile& ini)
{
    ConsoleSettings s;
    s.Read(ini);
    mUser->setText(QString::fromStdString(s.FtpUser));
    mPassword->setText(QString::fromStdString(s.FtpPassword));
    mThird->setText(QString::fromStdString(s.ThirdLanguage));
    const QString glyph = QString::fromStdString(common().ProgramDir + "third.bmp");
    if (QFile::exists(glyph)) mThird->setIcon(QIcon(glyph));
}

void PageGeneral::saveSettings(IniFile& ini)
{
    WriteFtpLogin(ini, mUser->text().toStdString(), mPassword->text().toStdString());
}

void PageGeneral::Button1Click()
{
    const std::string addr = address();
    if (addr.empty()) return;
    CommonGlobals& c = common();
    if (!context().controller().present(addr, 500)) return;
    // The pool connects to the controller address; it cannot change while the pool is open.
    if (!context().controller().poolOpen()) c.ControllerIp = addr;
    // The buttons follow the pool's own state.
    if (context().controller().openPool()) {
        // Connected by hand: the controller functions of every window work from now on.
        c.ControllerUsable.store(1);
        c.NoControllerApi.store(0);
    } else {
        const std::string text = texts::get("stringpbconnectadre");
        context().log(QString::fromStdString(text));
        ShowMsg(text);
    }
}

void PageGeneral::Button2Click()
{
    if (context().positionReadingOn()) {
        context().stopPositionReading();
        WaitWithMessages(300);
    }
    context().controller().closePool();
}

void PageGeneral::Button62Click()
{
    const std::string addr = address();
    CommonGlobals& c = common();
    if (!addr.empty() && !context().controller().poolOpen()) c.ControllerIp = addr;
    c.FtpUser = mUser->text().toStdString();
    c.FtpPassword = mPassword->text().toStdString();
    if (context().controller().connectTransfer(false) && context().controller().transferConnected()) {
        setTransferOpen(true);
    } else {
        const std::string text = texts::get("stringpbconnectadre");
        context().log(QString::fromStdString(text));
        ShowMsg(text);
        setTransferOpen(false);
    }
}

void PageGeneral::Button63Click()
{
    context().controller().disconnectTransfer();
    setTransferOpen(context().controller().transferConnected());
}

void PageGeneral::Button6Click()
{
    link::PooledSocket connection(context().controller(), 1.0);
    const int index = connection.index();
    if (index < 0) {
        context().log(QString::fromStdString(texts::get("stringnosocketmaintenance")));
    } else {
        std::string version;
        int rc = 0;
        try {
            rc = api::FirmwareVersionGet(index, version);
        } catch (...) {
            rc = -2;
        }
        if (version.size() > 255) version.resize(255);
        context().logError(rc);
        context().log(QString::fromStdString(texts::get("stringversionlue") + version));
        connection.release();
    }
    context().log(QString::fromStdString(texts::get("stringversionmaintenance")));
}

void PageGeneral::Button18Click()
{
    context().reboot(mProgress);
}

void PageGeneral::SpeedButtonClick(int language)
{
    if (language >= 1 && language <= 3) LoadLanguage(language);
}

void PageGeneral::openWindow(const char* objectName)
{
    if (!context().showProgramWindow(objectName))
        context().log(QString::fromStdString(texts::get("stringwindowmissing") + " " + objectName));
}

void PageGeneral::Button7Click() { openWindow("FNClientFTP"); }
void PageGeneral::Button64Click() { openWindow("Fshowgathering"); }
void PageGeneral::BitBtn6Click() { openWindow("Ftcl"); }

}  // namespace mvx::maint
