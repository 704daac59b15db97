#include "page_sgammapid.h"

#include "pagecalls.h"
#include "link/api.h"
#include "translator/numtext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace mvx::maint {

namespace {
constexpr double kTuningTimeout = 1.0;

QString paramText(double v) { return QString::fromStdString(num::fixed(v, 6, 12)); }

QLineEdit* addField(QFormLayout* form, const char* name, const QString& label, QWidget* parent,
                    std::vector<QWidget*>* labels = nullptr)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    auto* l = new QLabel(label, parent);
    form->addRow(l, e);
    if (labels) {
        labels->push_back(l);
        labels->push_back(e);
    }
    return e;
}

const char* const kTypeNames[] = {"", "PositionerCorrectorPIDDualFFVoltage", "PositionerCorrectorPIPosition",
                                  "PositionerCorrectorPIDFFVelocity", "PositionerCorrectorPIDFFAcceleration"};
}  // namespace

// ---------------------------------------------------------------------------------------------

SGammaPage::SGammaPage(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    registerPageTexts();
    setObjectName("TSVAJ");
    auto* top = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    mAxis = new QComboBox(this);
    mAxis->setObjectName("ComboBox7");
    form->addRow("Axe", mAxis);
    mFields[0] = addField(form, "Edit_velocity", "Vitesse", this);
    mFields[1] = addField(form, "Edit_acceleration", "Acceleration", this);
    mFields[2] = addField(form, "Edit_jerk_min", "\"Jerk\" min", this);
    mFields[3] = addField(form, "Edit_jerk_max", "\"Jerk\" max", this);
    top->addLayout(form);
    auto* buttons = new QHBoxLayout;
    auto* read = new QPushButton("Lire", this);
    read->setObjectName("Button54");
    auto* change = new QPushButton("Changer", this);
    change->setObjectName("Button55");
    buttons->addWidget(read);
    buttons->addWidget(change);
    top->addLayout(buttons);
    top->addStretch();
    connect(read, &QPushButton::clicked, this, &SGammaPage::Button54Click);
    connect(change, &QPushButton::clicked, this, &SGammaPage::Button55Click);
    connect(mAxis, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { this->context().setThreadGroupName(t.toStdString()); });
}

void SGammaPage::pageShown()
{
    {
        const QSignalBlocker block(mAxis);
        context().FillPositionerList(mAxis);
        if (mAxis->count() > 0) mAxis->setCurrentIndex(0);
    }
    context().setThreadGroupName(mAxis->currentText().toStdString());
    context().stopPositionReading();
}

void SGammaPage::Button54Click()
{
    const std::string p = mAxis->currentText().toStdString();
    double v[4] = {0, 0, 0, 0};
    QPointer<SGammaPage> self(this);
    const int code = CallOnConnection(context(), kTuningTimeout, [&](int s) {
        return api::PositionerSGammaParametersGet(s, p, v[0], v[1], v[2], v[3]);
    });
    if (code != 0 || !self) return;
    for (int i = 0; i < 4; ++i) mFields[i]->setText(QString::fromStdString(num::general(v[i])));
}

void SGammaPage::Button55Click()
{
    static constexpr const char* kMessages[4] = {"StringPbSpeed", "stringpbaccel", "stringpbjerk", "stringpbmaxjerk"};
    double v[4];
    for (int i = 0; i < 4; ++i) {
        const std::optional<double> d = num::parseStrict(mFields[i]->text().toStdString());
        if (!d || !std::isfinite(*d)) {
            context().log(Text(kMessages[i]));
            return;
        }
        v[i] = *d;
    }
    const std::string p = mAxis->currentText().toStdString();
    CallOnConnection(context(), kTuningTimeout,
                     [&](int s) { return api::PositionerSGammaParametersSet(s, p, v[0], v[1], v[2], v[3]); });
}

// ---------------------------------------------------------------------------------------------

CorrectorKind CorrectorKindOf(const std::string& typeName)
{
    std::string rest = typeName.size() > 19 ? typeName.substr(19) : std::string();
    for (char& c : rest) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (rest.find("DUALFFVOLT") != std::string::npos) return CorrectorKind::DualFFVoltage;
    if (rest.find("POSIT") != std::string::npos) return CorrectorKind::PIPosition;
    if (rest.find("FFVELOC") != std::string::npos) return CorrectorKind::FFVelocity;
    if (rest.find("FFACCEL") != std::string::npos) return CorrectorKind::FFAcceleration;
    return CorrectorKind::Unknown;
}

PidPage::PidPage(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    registerPageTexts();
    setObjectName("TSPID");
    auto* top = new QVBoxLayout(this);
    auto* head = new QFormLayout;
    mAxis = new QComboBox(this);
    mAxis->setObjectName("ComboBox6");
    head->addRow("Axe", mAxis);
    top->addLayout(head);
    mType = new QLabel(Text("stringcorrectortype"), this);
    mType->setObjectName("Label89");
    top->addWidget(mType);
    mClosedLoop = new QCheckBox("Boucle fermée", this);
    mClosedLoop->setObjectName("CheckBox2");
    mClosedLoop->setVisible(false);
    top->addWidget(mClosedLoop);

    mPiBox = new QGroupBox(this);
    mPiBox->setObjectName("GroupBox18");
    auto* piForm = new QFormLayout(mPiBox);
    mPiFields.push_back(addField(piForm, "Edit71", "KP", mPiBox));
    mPiFields.push_back(addField(piForm, "Edit73", "KI", mPiBox));
    mPiFields.push_back(addField(piForm, "Edit72", "Temps Int.", mPiBox));
    mPiBox->setVisible(false);
    top->addWidget(mPiBox);

    mPidBox = new QGroupBox(this);
    mPidBox->setObjectName("GroupBox19");
    auto* pidForm = new QFormLayout(mPidBox);
    mPidFields.push_back(addField(pidForm, "Edit77", "KP", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit78", "KI", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit80", "KD", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit81", "KS", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit79", "Temps integ", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit82", "Fréq C.O.", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit74", "GKP", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit76", "GKI", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit75", "GKD", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit83", "KForm", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit84", "FFGV", mPidBox));
    mPidFields.push_back(addField(pidForm, "Edit85", "FFGA", mPidBox, &mDualOnly));
    mPidFields.push_back(addField(pidForm, "Edit86", "Friction", mPidBox, &mDualOnly));
    mPidBox->setVisible(false);
    top->addWidget(mPidBox);

    auto* buttons = new QHBoxLayout;
    auto* read = new QPushButton("Lire", this);
    read->setObjectName("Button52");
    auto* change = new QPushButton("Changer", this);
    change->setObjectName("Button53");
    buttons->addWidget(read);
    buttons->addWidget(change);
    top->addLayout(buttons);
    top->addStretch();
    connect(read, &QPushButton::clicked, this, &PidPage::ReadCorrector);
    connect(change, &QPushButton::clicked, this, &PidPage::WriteCorrector);
    connect(mAxis, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        this->context().setThreadGroupName(t.toStdString());
        ReadCorrector();
    });
}

std::string PidPage::positioner() const { return mAxis->currentText().toStdString(); }

void PidPage::pageShown()
{
    context().stopPositionReading();
    {
        const QSignalBlocker block(mAxis);
        context().FillPositionerList(mAxis);
        if (mAxis->count() > 0) mAxis->setCurrentIndex(0);
    }
    context().setThreadGroupName(positioner());
    ReadCorrector();
}

void PidPage::showFields(const std::vector<QLineEdit*>& fields, const double* values, std::size_t n)
{
    for (std::size_t i = 0; i < n && i < fields.size(); ++i) fields[i]->setText(paramText(values[i]));
}

void PidPage::showBigBox(bool visible, const QString& caption, bool withDual)
{
    mPidBox->setTitle(caption);
    mPidBox->setVisible(visible);
    for (QWidget* w : mDualOnly) w->setVisible(withDual);
}

void PidPage::ReadCorrector()
{
    const std::string p = positioner();
    mReadFor.clear();
    mReadKind = CorrectorKind::Unknown;
    mClosedLoop->setVisible(false);
    QPointer<PidPage> self(this);
    WithConnection(context(), kTuningTimeout, [&](int s) {
        std::string type;
        int code = api::PositionerCorrectorTypeGet(s, p, type);
        if (!self) return;
        if (code != 0) {
            context().log(context().decripte_erreur(code));
            return;
        }
        mType->setText(Text("stringcorrectortype") + " " + QString::fromStdString(type));
        const CorrectorKind kind = CorrectorKindOf(type);
        mPiBox->setVisible(false);
        mPidBox->setVisible(false);
        bool closed = false;
        switch (kind) {
        case CorrectorKind::DualFFVoltage: {
            std::array<double, 13> v{};
            code = api::PositionerCorrectorPIDDualFFVoltageGet(s, p, closed, v);
            if (!self) return;
            showBigBox(true, "PID: PIDDualFFVoltage", true);
            if (code == 0) showFields(mPidFields, v.data(), v.size());
            break;
        }
        case CorrectorKind::PIPosition: {
            std::array<double, 3> v{};
            code = api::PositionerCorrectorPIPositionGet(s, p, closed, v);
            if (!self) return;
            mPiBox->setTitle("PID: PIPosition");
            mPiBox->setVisible(true);
            if (code == 0) showFields(mPiFields, v.data(), v.size());
            break;
        }
        case CorrectorKind::FFVelocity:
        case CorrectorKind::FFAcceleration: {
            std::array<double, 11> v{};
            const bool velocity = kind == CorrectorKind::FFVelocity;
            code = velocity ? api::PositionerCorrectorPIDFFVelocityGet(s, p, closed, v)
                            : api::PositionerCorrectorPIDFFAccelerationGet(s, p, closed, v);
            if (!self) return;
            // The acceleration corrector's values are shown too: hidden fields could not be checked
            // before "Changer" writes them back.
            showBigBox(true, velocity ? "PID: FFVelocity" : "PID: FFAcceleration", false);
            if (code == 0) showFields(mPidFields, v.data(), v.size());
            break;
        }
        case CorrectorKind::Unknown:
            context().log(Text("stringunknowncorrector", QString::fromStdString(type)));
            return;
        }
        if (code != 0) {
            context().log(context().decripte_erreur(code));
            return;
        }
        mClosedLoop->setVisible(true);
        mClosedLoop->setChecked(closed);
        mReadFor = p;
        mReadKind = kind;
    });
}

bool PidPage::readFields(const std::vector<QLineEdit*>& fields, std::vector<double>& values)
{
    values.clear();
    for (QLineEdit* f : fields) {
        const std::optional<double> v = num::parseStrict(f->text().toStdString());
        if (!v || !std::isfinite(*v)) {
            context().log(Text("stringpidbadfield", f->text()));
            return false;
        }
        values.push_back(*v);
    }
    return true;
}

void PidPage::WriteCorrector()
{
    const std::string p = positioner();
    QPointer<PidPage> self(this);
    WithConnection(context(), kTuningTimeout, [&](int s) {
        std::string type;
        int code = api::PositionerCorrectorTypeGet(s, p, type);
        if (!self) return;
        if (code != 0) {
            context().log(context().decripte_erreur(code));
            return;
        }
        mType->setText(Text("stringcorrectortype") + " " + QString::fromStdString(type));
        CorrectorKind kind = CorrectorKind::Unknown;
        for (int k = 1; k <= 4; ++k)
            if (type == kTypeNames[k]) kind = CorrectorKind(k);
        if (kind == CorrectorKind::Unknown) {
            context().log(Text("stringunknowncorrector", QString::fromStdString(type)));
            return;
        }
        // The fields must hold this positioner's values of this corrector, else another
        // positioner's (or stale) values would be written.
        if (mReadFor != p || mReadKind != kind) {
            context().log(Text("stringpidnotread"));
            return;
        }
        const bool closed = mClosedLoop->isChecked();
        std::vector<double> v;
        switch (kind) {
        case CorrectorKind::DualFFVoltage: {
            if (!readFields(mPidFields, v)) return;
            std::array<double, 13> a{};
            std::copy(v.begin(), v.begin() + 13, a.begin());
            code = api::PositionerCorrectorPIDDualFFVoltageSet(s, p, closed, a);
            break;
        }
        case CorrectorKind::PIPosition: {
            if (!readFields(mPiFields, v)) return;
            std::array<double, 3> a{};
            std::copy(v.begin(), v.begin() + 3, a.begin());
            code = api::PositionerCorrectorPIPositionSet(s, p, closed, a);
            break;
        }
        case CorrectorKind::FFVelocity:
        case CorrectorKind::FFAcceleration: {
            const std::vector<QLineEdit*> eleven(mPidFields.begin(), mPidFields.begin() + 11);
            if (!readFields(eleven, v)) return;
            std::array<double, 11> a{};
            std::copy(v.begin(), v.begin() + 11, a.begin());
            code = kind == CorrectorKind::FFVelocity ? api::PositionerCorrectorPIDFFVelocitySet(s, p, closed, a)
                                                     : api::PositionerCorrectorPIDFFAccelerationSet(s, p, closed, a);
            break;
        }
        case CorrectorKind::Unknown: return;
        }
        if (self && code != 0) context().log(context().decripte_erreur(code));
    });
}

void registerTuningPages()
{
    registerMaintenancePage("TSVAJ", [](MaintenanceContext& c, QWidget* p) { return new SGammaPage(c, p); });
    registerMaintenancePage("TSPID", [](MaintenanceContext& c, QWidget* p) { return new PidPage(c, p); });
}

}  // namespace mvx::maint
