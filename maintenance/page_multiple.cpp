#include "page_multiple.h"

#include "pagecalls.h"
#include "core/common.h"
#include "core/inifile.h"
#include "link/api.h"
#include "link/controllerconfig.h"
#include "link/transfer.h"
#include "translator/numtext.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace mvx::maint {

namespace {

constexpr double kJogAcceleration = 5.0;
constexpr int kMaxPositioners = 8;
// A PVT run answers when the trajectory has ended; the call waits that long (events go on).
constexpr double kPvtTimeout = 3600.0;

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
QGroupBox* box(const QString& name, const QString& caption, QWidget* parent)
{
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    return g;
}


}  // namespace

// ---------------------------------------------------------------------------------------------

MultiplePage::MultiplePage(MaintenanceContext& context, QWidget* parent)
    : GroupMotionPage(context, parent, Kind::Multiple)
{
    setObjectName("TSmultiple");
    auto* top = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    mGroupCombo = new QComboBox(this);
    mGroupCombo->setObjectName("CBmultiple");
    auto* status = button("ButtonEtatMultiples", "Etat", this);
    head->addWidget(mGroupCombo);
    head->addWidget(status);
    top->addLayout(head);

    mGrid = new QTableWidget(1, 5, this);
    mGrid->setObjectName("StringGrid1");
    mGrid->setHorizontalHeaderLabels({Text("String_main_kvx_name"), Text("String_main_kvx_Relative"),
                                      Text("String_main_kvx_Absolute"), Text("String_main_kvx_Jog_Speed"),
                                      Text("String_main_kvx_Position")});
    top->addWidget(mGrid);

    auto* pvt = box("GroupBoxPVTMultiples", "PVT", this);
    auto* pvtLayout = new QHBoxLayout(pvt);
    auto* load = button("ButtonChargePVTmultiples", "Charge", pvt);
    mExecute = button("ButtonExecutePVTmultiples", "Exécute ", pvt);
    pvtLayout->addWidget(load);
    pvtLayout->addWidget(mExecute);
    top->addWidget(pvt);

    auto* init = box("GroupBoxInitMultiples", "Initialisation", this);
    auto* initLayout = new QHBoxLayout(init);
    auto* bInit = button("ButtonInitMultiples", "Initialise le groupe", init);
    auto* bHome = button("ButtonOrigineMultiples", "Origine", init);
    auto* bKill = button("ButtonKillMultiples", "\"Tuer\" le groupe", init);
    bHome->setEnabled(false);
    initLayout->addWidget(bInit);
    initLayout->addWidget(bHome);
    initLayout->addWidget(bKill);
    top->addWidget(init);

    auto* rel = box("GroupBoxRelatifMultiples", "Relatif", this);
    rel->setEnabled(false);
    auto* relLayout = new QHBoxLayout(rel);
    auto* bRelMinus = button("ButtonRelatifMoinsMultiples", "Relatif -", rel);
    auto* bRelPlus = button("ButtonRelatifPlusMultiples", "Relatif +", rel);
    relLayout->addWidget(bRelMinus);
    relLayout->addWidget(bRelPlus);
    top->addWidget(rel);
    auto* bAbs = button("ButtonAbsoluMultiples", "Absolu", this);
    bAbs->setEnabled(false);
    top->addWidget(bAbs);

    auto* jog = box("GroupBoxJogMultiples", "Jog", this);
    jog->setEnabled(false);
    auto* jogLayout = new QGridLayout(jog);
    auto* bJogOn = button("ButtonValideJogMultiples", "Activer déplacement manuel", jog);
    auto* bMinus = button("ButtonJogMoinsMultiples", "<<<<", jog);
    auto* bPlus = button("ButtonJogPlusMultiples", ">>>>", jog);
    auto* bJogOff = button("ButtonInhibeJogMultiples", "Desactiver déplacement manuel", jog);
    bJogOff->setEnabled(false);
    bMinus->setEnabled(false);
    bPlus->setEnabled(false);
    jogLayout->addWidget(bJogOn, 0, 0, 1, 2);
    jogLayout->addWidget(bMinus, 1, 0);
    jogLayout->addWidget(bPlus, 1, 1);
    jogLayout->addWidget(bJogOff, 2, 0, 1, 2);
    top->addWidget(jog);

    auto* onoff = box("GroupBoxOnOffMultiples", "Moteur on/off", this);
    onoff->setEnabled(false);
    auto* onoffLayout = new QHBoxLayout(onoff);
    auto* bOn = button("ButtonMoteurOnMultiples", "moteur on", onoff);
    auto* bOff = button("ButtonMoteurOffMultiples", "Moteur off", onoff);
    onoffLayout->addWidget(bOn);
    onoffLayout->addWidget(bOff);
    top->addWidget(onoff);

    mRule.initialize = bInit;
    mRule.home = bHome;
    mRule.motorBox = onoff;
    mRule.motorOn = bOn;
    mRule.motorOff = bOff;
    mRule.moves = {rel, bAbs};
    mRule.jogBox = jog;
    mRule.jogEnable = bJogOn;
    // The arrows follow jog mode as on the other pages: outside it the controller refuses them.
    mRule.jogControls = {bJogOff, bMinus, bPlus};

    connectGroupButtons({bInit, bKill, bHome, bOn, bOff, bJogOn, bJogOff}, 3);
    connect(status, &QPushButton::clicked, this, [this] { statusLine(1, true); });
    connect(bAbs, &QPushButton::clicked, this, &MultiplePage::ButtonAbsoluMultiplesClick);
    connect(bRelPlus, &QPushButton::clicked, this, [this] { ButtonRelatifMultiples(1.0); });
    connect(bRelMinus, &QPushButton::clicked, this, [this] { ButtonRelatifMultiples(-1.0); });
    connect(bPlus, &QPushButton::pressed, this, [this] { ButtonJogMultiplesMouseDown(1.0); });
    connect(bMinus, &QPushButton::pressed, this, [this] { ButtonJogMultiplesMouseDown(-1.0); });
    connect(bPlus, &QPushButton::released, this, [this] { endJogHold(); });
    connect(bMinus, &QPushButton::released, this, [this] { endJogHold(); });
    connect(load, &QPushButton::clicked, this, &MultiplePage::ButtonChargePVTmultiplesClick);
    connect(mExecute, &QPushButton::clicked, this, &MultiplePage::ButtonExecutePVTmultiplesClick);
    connectGroupCombo();

    mChooser = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(), "Measures (*.MES);;All (*.*)");
    };
}

void MultiplePage::saveRows()
{
    if (mGridGroup.empty()) return;
    IniFile& ini = context().settings();
    auto cell = [this](int r, int c) {
        const QTableWidgetItem* it = mGrid->item(r, c);
        return it ? it->text().toStdString() : std::string();
    };
    for (int r = 0; r < mGrid->rowCount(); ++r) {
        const QTableWidgetItem* name = mGrid->item(r, 0);
        if (!name || name->text().isEmpty()) continue;
        PositionerMoveSettings row;
        row.Relative = cell(r, 1);
        row.Absolute = cell(r, 2);
        row.JogSpeed = cell(r, 3);
        row.Write(ini, mGridGroup + "." + name->text().toStdString());
    }
}

void MultiplePage::LoadMultipleGrid()
{
    // The rows of the group shown so far are kept before another group replaces them.
    saveRows();
    const std::string g = group();
    const std::string ini = context().systemIniPath();
    int n = link::PositionerNumber(ini, g);
    if (n > kMaxPositioners) {
        context().log(Text("stringtoomanypositioners"));
        n = kMaxPositioners;
    }
    mSize = std::max(1, n);
    const std::vector<std::string> names = link::PositionerList(ini, g);
    mGrid->setRowCount(mSize);
    IniFile& settings = context().settings();
    for (int r = 0; r < mSize; ++r) {
        const std::string name = r < int(names.size()) ? names[r] : std::string();
        auto* nameItem = new QTableWidgetItem(QString::fromStdString(name));
        nameItem->setFlags(nameItem->flags() & ~Qt::ItemIsEditable);
        mGrid->setItem(r, 0, nameItem);
        PositionerMoveSettings row;
        row.Read(settings, g + "." + name);
        mGrid->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(row.Relative)));
        mGrid->setItem(r, 2, new QTableWidgetItem(QString::fromStdString(row.Absolute)));
        mGrid->setItem(r, 3, new QTableWidgetItem(QString::fromStdString(row.JogSpeed)));
        auto* pos = new QTableWidgetItem(QString());
        pos->setFlags(pos->flags() & ~Qt::ItemIsEditable);
        mGrid->setItem(r, 4, pos);
    }
    mGridGroup = g;
}

void MultiplePage::saveSettings(IniFile& ini)
{
    (void)ini;
    saveRows();
}

void MultiplePage::positionsChanged(std::span<const double> positions)
{
    for (int r = 0; r < mSize && r < int(positions.size()); ++r)
        if (QTableWidgetItem* it = mGrid->item(r, 4)) it->setText(PositionText(positions[r]));
}

std::optional<std::vector<double>> MultiplePage::column(int col, double sign)
{
    std::vector<double> values;
    for (int r = 0; r < mSize; ++r) {
        const QTableWidgetItem* it = mGrid->item(r, col);
        const auto v = FieldNumber(context(), it ? it->text() : QString(), "stringbadnumbermaint");
        if (!v) return std::nullopt;
        values.push_back(sign * *v);
    }
    return values;
}

void MultiplePage::ButtonAbsoluMultiplesClick()
{
    if (auto v = column(2, 1.0)) moveAbsolute(*v);
}

void MultiplePage::ButtonRelatifMultiples(double sign)
{
    if (auto v = column(1, sign)) moveRelative(*v);
}

void MultiplePage::ButtonJogMultiplesMouseDown(double sign)
{
    if (auto v = column(3, sign)) jogPress(*v, std::vector<double>(v->size(), kJogAcceleration));
}

bool MultiplePage::upload(const QString& path)
{
    const QFileInfo info(path);
    const std::string folder = info.absolutePath().toStdString() + "/";
    const std::string name = info.fileName().toStdString();
    const bool ok = context().controller().changeDir(common().RemoteTrajectoriesDir, folder) &&
                    context().controller().putFile(name, name, true);
    if (!ok) {
        context().controller().disconnectTransfer();
        context().log(Text("stringpvtuploadfailed", info.fileName()));
    } else {
        context().log(Text("stringpvtuploaded", info.fileName()));
    }
    return ok;
}

void MultiplePage::ButtonChargePVTmultiplesClick()
{
    const QString path = mChooser ? mChooser() : QString();
    if (!path.isEmpty()) upload(path);
}

void MultiplePage::ButtonExecutePVTmultiplesClick()
{
    if (mRunning) return;
    const QString path = mChooser ? mChooser() : QString();
    if (path.isEmpty()) return;
    // A failed upload would run whatever older file carries that name.
    if (!upload(path)) return;
    if (!context().setThreadGroupName(group())) return;
    const std::string g = group();
    const std::string file = QFileInfo(path).fileName().toStdString();
    QPointer<MultiplePage> self(this);
    mRunning = true;
    mExecute->setEnabled(false);
    const int code = CallOnConnection(context(), kPvtTimeout,
                                      [&](int s) { return api::MultipleAxesPVTExecution(s, g, file, 1); });
    if (!self) return;
    mRunning = false;
    mExecute->setEnabled(true);
    if (code == 0) context().log(Text("stringpvtdone", QString::fromStdString(file)));
    refresh();
}

// ---------------------------------------------------------------------------------------------

PlanePage::PlanePage(MaintenanceContext& context, QWidget* parent, int axes)
    : GroupMotionPage(context, parent, axes == 2 ? Kind::XY : Kind::XYZ), mAxes(axes)
{
    const bool xy = axes == 2;
    setObjectName(xy ? "TSXY" : "TSXYZ");
    auto* top = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    mGroupCombo = new QComboBox(this);
    mGroupCombo->setObjectName(xy ? "CBXY" : "CBXYZ");
    head->addWidget(mGroupCombo);
    auto* status = button(xy ? "ButtonEtatXY" : "ButtonEtatXYZ", "Etat", this);
    head->addWidget(status);
    top->addLayout(head);

    const std::vector<const char*> labelNames = xy ? std::vector<const char*>{"Label6", "Label7"}
                                                   : std::vector<const char*>{"Label1", "Label4", "Label5"};
    const std::vector<const char*> posNames = xy ? std::vector<const char*>{"Edit7", "Edit8"}
                                                 : std::vector<const char*>{"Edit17", "Edit18", "Edit23"};
    auto* posGrid = new QGridLayout;
    for (int i = 0; i < axes; ++i) {
        auto* l = new QLabel(this);
        l->setObjectName(labelNames[i]);
        auto* e = edit(posNames[i], QString(), this);
        e->setReadOnly(true);
        posGrid->addWidget(l, 0, i);
        posGrid->addWidget(e, 1, i);
        mLabels.push_back(l);
        mPositions.push_back(e);
    }
    top->addLayout(posGrid);

    auto* onoff = box(xy ? "GroupBoxOnOffXY" : "GroupBoxOnOffXYZ", "Moteur on/off", this);
    onoff->setEnabled(false);
    auto* onoffLayout = new QHBoxLayout(onoff);
    auto* bOn = button(xy ? "ButtonMoteurOnXY" : "ButtonMoteurOnXYZ", "moteur on", onoff);
    auto* bOff = button(xy ? "ButtonMoteurOffXY" : "ButtonMoteurOffXYZ", "Moteur off", onoff);
    onoffLayout->addWidget(bOn);
    onoffLayout->addWidget(bOff);
    top->addWidget(onoff);

    auto* init = box(xy ? "GroupBoxInitXY" : "GroupBoxInitXYZ", "Initialisation", this);
    auto* initLayout = new QHBoxLayout(init);
    auto* bHome = button(xy ? "ButtonOrigineXY" : "ButtonOrigineXYZ", "Origine", init);
    auto* bInit = button(xy ? "ButtonInitXY" : "ButtonInitXYZ", "Initialise le groupe", init);
    auto* bKill = button(xy ? "ButtonKillGroupeXY" : "ButtonKillXYZ", "\"Tuer\" le groupe", init);
    bHome->setEnabled(false);
    initLayout->addWidget(bHome);
    initLayout->addWidget(bInit);
    initLayout->addWidget(bKill);
    top->addWidget(init);

    const std::vector<const char*> relNames = xy ? std::vector<const char*>{"Edit9", "Edit12"}
                                                 : std::vector<const char*>{"Edit15", "Edit16", "Edit24"};
    const std::vector<const char*> absNames = xy ? std::vector<const char*>{"Edit13", "Edit14"}
                                                 : std::vector<const char*>{"Edit19", "Edit20", "Edit25"};
    auto* rel = box(xy ? "GroupBoxRelatifXY" : "GroupBoxRelatifXYZ", "Relatif", this);
    rel->setEnabled(false);
    auto* relLayout = new QHBoxLayout(rel);
    auto* bRelMinus = button(xy ? "ButtonRelatifMoinsXY" : "ButtonRelatifMoinsXYZ", "Relatif -", rel);
    relLayout->addWidget(bRelMinus);
    for (const char* n : relNames) {
        mRelative.push_back(edit(n, "1.00", rel));
        relLayout->addWidget(mRelative.back());
    }
    auto* bRelPlus = button(xy ? "ButtonRelatifPlusXY" : "ButtonRelatifPlusXYZ", "Relatif +", rel);
    relLayout->addWidget(bRelPlus);
    top->addWidget(rel);

    auto* abs = box(xy ? "GroupBoxAbsoluXY" : "GroupBoxAbsoluXYZ", "Absolu", this);
    abs->setEnabled(false);
    auto* absLayout = new QHBoxLayout(abs);
    for (const char* n : absNames) {
        mAbsolute.push_back(edit(n, "1.00", abs));
        absLayout->addWidget(mAbsolute.back());
    }
    auto* bAbs = button(xy ? "ButtonAbsoluXY" : "ButtonAbsoluXYZ", "Absolu", abs);
    absLayout->addWidget(bAbs);
    top->addWidget(abs);

    auto* jog = box(xy ? "GroupBoxJogXY" : "GroupBoxJogXYZ", "Jog", this);
    jog->setEnabled(false);
    auto* jogLayout = new QGridLayout(jog);
    mSpeed = edit(xy ? "Edit10" : "Edit21", "1.00", jog);
    mAcceleration = edit(xy ? "Edit11" : "Edit22", "1.00", jog);
    jogLayout->addWidget(new QLabel("V", jog), 0, 0);
    jogLayout->addWidget(mSpeed, 0, 1);
    jogLayout->addWidget(new QLabel("A", jog), 1, 0);
    jogLayout->addWidget(mAcceleration, 1, 1);
    auto* bJogOn = button(xy ? "ButtonActivateJOGXY" : "ButtonActivateJogXYZ", "Activer déplacement manuel", jog);
    auto* bJogOff = button(xy ? "ButtonDesactiveJogXY" : "ButtonDesactiveJogXYZ",
                           xy ? "Désactiver déplacement manuel" : "Desactiver déplacement manuel", jog);
    bJogOff->setEnabled(false);
    jogLayout->addWidget(bJogOn, 2, 0, 1, 2);
    jogLayout->addWidget(bJogOff, 3, 0, 1, 2);
    std::vector<QWidget*> panels;
    auto addPanel = [&](const char* panelName, const char* boxName, bool zOnly, int col) {
        auto* panel = new QWidget(jog);
        panel->setObjectName(panelName);
        panel->setEnabled(false);
        auto* l = new QVBoxLayout(panel);
        auto* stick = new JoystickBox(zOnly, panel);
        stick->setObjectName(boxName);
        l->addWidget(stick);
        jogLayout->addWidget(panel, 0, col, 4, 1);
        mBoxes.push_back(stick);
        panels.push_back(panel);
        stick->onJog = [this, zOnly](int w, int h, QPoint p, bool held) { joystickJog(w, h, p, held, zOnly); };
    };
    if (xy) {
        addPanel("PanelJogXY", "PaintBox1", false, 2);
    } else {
        addPanel("PanelJogXYZ", "PaintBox2", false, 2);
        addPanel("PanelJogZ", "PaintBox3", true, 3);
    }
    top->addWidget(jog);
    top->addStretch();

    mRule.initialize = bInit;
    mRule.home = bHome;
    mRule.motorBox = onoff;
    mRule.motorOn = bOn;
    mRule.motorOff = bOff;
    mRule.moves = {rel, abs};
    mRule.jogBox = jog;
    mRule.jogEnable = bJogOn;
    mRule.jogControls = {bJogOff};
    for (QWidget* p : panels) mRule.jogControls.push_back(p);

    // A jog must not stay on once the user has moved away from it: on a real machine the axes
    // would keep following a joystick nobody watches.
    mJogFocus = {bJogOff};
    for (JoystickBox* b : mBoxes) mJogFocus.push_back(b);
    if (!xy) mJogFocus.push_back(onoff);
    bJogOff->installEventFilter(this);
    for (JoystickBox* b : mBoxes) b->installEventFilter(this);
    if (!xy) {
        bOn->installEventFilter(this);
        bOff->installEventFilter(this);
    }

    connectGroupButtons({bInit, bKill, bHome, bOn, bOff, bJogOn, bJogOff}, 1);
    connect(status, &QPushButton::clicked, this, [this] { statusLine(1, false); });
    connect(bAbs, &QPushButton::clicked, this, &PlanePage::absolute);
    connect(bRelPlus, &QPushButton::clicked, this, [this] { relative(1.0); });
    connect(bRelMinus, &QPushButton::clicked, this, [this] { relative(-1.0); });
    connectGroupCombo();
}

bool PlanePage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
        !mExitPending) {
        // The new focus is known once the change is complete.
        mExitPending = true;
        QPointer<PlanePage> self(this);
        QTimer::singleShot(0, this, [self] {
            if (!self) return;
            self->mExitPending = false;
            self->JogControlsExit();
        });
    }
    return GroupMotionPage::eventFilter(watched, event);
}

void PlanePage::JogControlsExit()
{
    const QWidget* now = QApplication::focusWidget();
    for (const QWidget* w : mJogFocus)
        if (now && (now == w || w->isAncestorOf(now))) return;
    disableJogIfOn();
}

void PlanePage::showPositioners()
{
    std::vector<std::string> names = link::PositionerList(context().systemIniPath(), group());
    for (QLabel* l : mLabels) l->clear();
    if (mAxes == 2) {
        if (!names.empty()) mLabels[0]->setText(QString::fromStdString(names[0]));
        QStringList rest;
        for (std::size_t i = 1; i < names.size(); ++i) rest << QString::fromStdString(names[i]);
        mLabels[1]->setText(rest.join(","));
    } else {
        for (std::size_t i = 0; i < names.size() && i < 3; ++i) mLabels[i]->setText(QString::fromStdString(names[i]));
    }
}

void PlanePage::positionsChanged(std::span<const double> positions)
{
    for (int i = 0; i < mAxes && i < int(positions.size()); ++i) mPositions[i]->setText(PositionText(positions[i]));
}

std::optional<std::vector<double>> PlanePage::fields(const std::vector<QLineEdit*>& edits, double sign)
{
    std::vector<double> v;
    for (QLineEdit* e : edits) {
        const auto d = FieldNumber(context(), e->text(), "stringbadnumbermaint");
        if (!d) return std::nullopt;
        v.push_back(sign * *d);
    }
    return v;
}

void PlanePage::absolute()
{
    if (auto v = fields(mAbsolute, 1.0)) moveAbsolute(*v);
}

void PlanePage::relative(double sign)
{
    if (auto v = fields(mRelative, sign)) moveRelative(*v);
}

// Each page's joystick reads its own full-scale speed and acceleration.
void PlanePage::joystickJog(int w, int h, QPoint p, bool held, bool zOnly)
{
    if (!held) {
        endJogHold();
        return;
    }
    if (!jogHeld()) {
        const auto v = FieldNumber(context(), mSpeed->text(), "stringbadnumbermaint");
        const auto a = v ? FieldNumber(context(), mAcceleration->text(), "stringbadnumbermaint") : std::nullopt;
        if (!v || !a) return;
        mHoldSpeed = *v;
        mHoldAcceleration = *a;
    }
    const std::array<double, 3> vel = JoystickBox::Velocities(w, h, p.x(), p.y(), zOnly, mHoldSpeed);
    const std::vector<double> velocities(vel.begin(), vel.begin() + mAxes);
    const std::vector<double> accelerations(mAxes, mHoldAcceleration);
    if (!jogHeld())
        jogPress(velocities, accelerations);
    else
        jogMove(velocities, accelerations);
}

// The fields' texts as they stand.
PlaneMoveSettings PlanePage::fieldValues() const
{
    PlaneMoveSettings v(mAxes);
    for (int i = 0; i < mAxes; ++i) {
        v.Relative[static_cast<std::size_t>(i)] = mRelative[static_cast<std::size_t>(i)]->text().toStdString();
        v.Absolute[static_cast<std::size_t>(i)] = mAbsolute[static_cast<std::size_t>(i)]->text().toStdString();
    }
    v.JogSpeed = mSpeed->text().toStdString();
    v.JogAcceleration = mAcceleration->text().toStdString();
    return v;
}

void PlanePage::loadSettings(IniFile& ini)
{
    PlaneMoveSettings v = fieldValues();
    v.Read(ini);
    for (int i = 0; i < mAxes; ++i) {
        mRelative[static_cast<std::size_t>(i)]->setText(QString::fromStdString(v.Relative[static_cast<std::size_t>(i)]));
        mAbsolute[static_cast<std::size_t>(i)]->setText(QString::fromStdString(v.Absolute[static_cast<std::size_t>(i)]));
    }
    mSpeed->setText(QString::fromStdString(v.JogSpeed));
    mAcceleration->setText(QString::fromStdString(v.JogAcceleration));
}

void PlanePage::saveSettings(IniFile& ini) { fieldValues().Write(ini); }

void registerMultiplePages()
{
    registerMaintenancePage("TSmultiple", [](MaintenanceContext& c, QWidget* p) { return new MultiplePage(c, p); });
    registerMaintenancePage("TSXY", [](MaintenanceContext& c, QWidget* p) { return new PlanePage(c, p, 2); });
    registerMaintenancePage("TSXYZ", [](MaintenanceContext& c, QWidget* p) { return new PlanePage(c, p, 3); });
}

}  // namespace mvx::maint
