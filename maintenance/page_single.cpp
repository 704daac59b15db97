#include "page_single.h"

#include "pagecalls.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "movesettings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mvx::maint {

namespace {
QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}
QLineEdit* edit(const char* name, const QString& text, QWidget* parent)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    return e;
}
QGroupBox* box(const char* name, const QString& caption, QWidget* parent)
{
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    return g;
}
constexpr double kJogAcceleration = 5.0;
}  // namespace

SinglePage::SinglePage(MaintenanceContext& context, QWidget* parent)
    : GroupMotionPage(context, parent, Kind::Single)
{
    setObjectName("TSSingle");
    auto* top = new QVBoxLayout(this);

    auto* head = new QHBoxLayout;
    mGroupCombo = new QComboBox(this);
    mGroupCombo->setObjectName("CBsingle");
    mEdit4 = edit("Edit4", QString(), this);
    mEdit4->setReadOnly(true);
    auto* status = button("Buttonstatus", "Etat", this);
    mButton32 = button("Button32", Text("String_main_KVX_Stop_Read"), this);
    head->addWidget(mGroupCombo);
    head->addWidget(mEdit4);
    head->addWidget(status);
    head->addWidget(mButton32);
    top->addLayout(head);

    auto* init = box("GroupBoxInitSingle", "Initialisation", this);
    auto* initLayout = new QHBoxLayout(init);
    auto* bInit = button("ButtonInitSingle", "Initialise le groupe", init);
    auto* bKill = button("ButtonKillSingle", "\"Tuer\" le groupe", init);
    auto* bHome = button("ButtonOrigineSingle", "Origine", init);
    bHome->setEnabled(false);
    initLayout->addWidget(bInit);
    initLayout->addWidget(bKill);
    initLayout->addWidget(bHome);
    top->addWidget(init);

    auto* rel = box("GroupBoxRelatifSingle", "Relatif", this);
    rel->setEnabled(false);
    auto* relLayout = new QHBoxLayout(rel);
    auto* bRelMinus = button("ButtonRelatifMoinsSingle", "Relatif -", rel);
    mEdit5 = edit("Edit5", "1.00", rel);
    auto* bRelPlus = button("ButtonRelatifPlusSingle", "Relatif +", rel);
    relLayout->addWidget(bRelMinus);
    relLayout->addWidget(mEdit5);
    relLayout->addWidget(bRelPlus);
    top->addWidget(rel);

    auto* abs = box("GroupBoxAbsoluSingle", "Absolu", this);
    abs->setEnabled(false);
    auto* absLayout = new QHBoxLayout(abs);
    auto* bAbs = button("ButtonAbsoluSingle", "Absolu", abs);
    mEdit6 = edit("Edit6", "2.0", abs);
    absLayout->addWidget(bAbs);
    absLayout->addWidget(mEdit6);
    top->addWidget(abs);

    auto* jog = box("GroupBoxJogSingle", "Jog", this);
    jog->setEnabled(false);
    auto* jogLayout = new QGridLayout(jog);
    mEdit3 = edit("Edit3", "1.00", jog);
    auto* bMinus = button("ButtonCMmoinsSingle", "<<<<", jog);
    auto* bPlus = button("ButtonCMPlusSingle", ">>>>", jog);
    bMinus->setEnabled(false);
    bPlus->setEnabled(false);
    auto* bJogOn = button("ButtonActivateCMSingle", "Activer déplacement manuel", jog);
    auto* bJogOff = button("ButtonDesactiveCMSingle", "Desactiver déplacement manuel", jog);
    bJogOff->setEnabled(false);
    jogLayout->addWidget(bMinus, 0, 0);
    jogLayout->addWidget(mEdit3, 0, 1);
    jogLayout->addWidget(bPlus, 0, 2);
    jogLayout->addWidget(bJogOn, 1, 0, 1, 3);
    jogLayout->addWidget(bJogOff, 2, 0, 1, 3);
    top->addWidget(jog);

    auto* onoff = box("GroupBoxOnoffSingle", "Moteur on/off", this);
    onoff->setEnabled(false);
    auto* onoffLayout = new QHBoxLayout(onoff);
    auto* bOn = button("ButtonMoteuronSingle", "moteur on", onoff);
    bOn->setEnabled(false);
    auto* bOff = button("ButtonMoteurOffsingle", "Moteur off", onoff);
    onoffLayout->addWidget(bOn);
    onoffLayout->addWidget(bOff);
    top->addWidget(onoff);
    top->addStretch();

    mRule.initialize = bInit;
    mRule.home = bHome;
    mRule.motorBox = onoff;
    mRule.motorOn = bOn;
    mRule.motorOff = bOff;
    mRule.moves = {rel, abs};
    mRule.jogBox = jog;
    mRule.jogEnable = bJogOn;
    mRule.jogControls = {bJogOff, bMinus, bPlus};

    connectGroupButtons({bInit, bKill, bHome, bOn, bOff, bJogOn, bJogOff}, 1);
    connect(status, &QPushButton::clicked, this, [this] { statusLine(2, false); });
    connect(bAbs, &QPushButton::clicked, this, &SinglePage::ButtonAbsoluSingleClick);
    connect(bRelPlus, &QPushButton::clicked, this, &SinglePage::ButtonRelatifPlusSingleClick);
    connect(bRelMinus, &QPushButton::clicked, this, &SinglePage::ButtonRelatifMoinsSingleClick);
    connect(bPlus, &QPushButton::pressed, this, &SinglePage::ButtonCMPlusSingleMouseDown);
    connect(bMinus, &QPushButton::pressed, this, &SinglePage::ButtonCMmoinsSingleMouseDown);
    connect(bPlus, &QPushButton::released, this, &SinglePage::ButtonCMmoinsSingleMouseUp);
    connect(bMinus, &QPushButton::released, this, &SinglePage::ButtonCMmoinsSingleMouseUp);
    connect(mButton32, &QPushButton::clicked, this, &SinglePage::Button32Click);
    connectGroupCombo();
}

void SinglePage::positionsChanged(std::span<const double> positions)
{
    if (!positions.empty()) mEdit4->setText(PositionText(positions[0]));
}

void SinglePage::ButtonAbsoluSingleClick()
{
    if (auto v = FieldNumber(context(), mEdit6->text(), "stringbadnumbermaint")) moveAbsolute({*v});
}

void SinglePage::relative(double sign)
{
    if (auto v = FieldNumber(context(), mEdit5->text(), "stringbadnumbermaint")) moveRelative({sign * *v});
}

void SinglePage::jogArrow(double sign)
{
    const auto v = FieldNumber(context(), mEdit3->text(), "stringbadnumbermaint");
    if (!v) return;
    jogPress({sign * *v}, {kJogAcceleration});
}

void SinglePage::Button32Click()
{
    const bool wasReading = mButton32->text() == Text("String_main_KVX_Stop_Read");
    context().stopPositionReading();
    WaitWithMessages(200);
    if (!wasReading) {
        context().startPositionReading(group(), 1);
        mButton32->setText(Text("String_main_KVX_Stop_Read"));
    } else {
        mButton32->setText(Text("String_main_KVX_Read_Positions"));
    }
}

void SinglePage::loadSettings(IniFile& ini)
{
    SingleMoveSettings v{mEdit5->text().toStdString(), mEdit6->text().toStdString(), mEdit3->text().toStdString()};
    v.Read(ini);
    mEdit5->setText(QString::fromStdString(v.Relative));
    mEdit6->setText(QString::fromStdString(v.Absolute));
    mEdit3->setText(QString::fromStdString(v.JogSpeed));
}

void SinglePage::saveSettings(IniFile& ini)
{
    SingleMoveSettings{mEdit5->text().toStdString(), mEdit6->text().toStdString(), mEdit3->text().toStdString()}.Write(ini);
}

void registerSinglePage()
{
    registerMaintenancePage("TSSingle", [](MaintenanceContext& c, QWidget* p) { return new SinglePage(c, p); });
}

}  // namespace mvx::maint
