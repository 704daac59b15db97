#include "tfio.h"

#include "core/common.h"
#include "core/inifile.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace mvx {

namespace {
// Component names of each row: GPIO spin edit, output spin edit, level radio group.
struct RowNames {
    const char* label;
    const char* gpio;
    const char* output;
    const char* level;
    int defaultOutput;
};
constexpr RowNames kRowNames[TFIO::kRows] = {
    {"Activate tool", "SpinEdit6", "SpinEdit1", "RadioGroup2", 1},
    {"M03 / M05", "SpinEdit7", "SpinEdit2", "RadioGroup4", 2},
    {"M04 / M05", "SpinEdit8", "SpinEdit3", "RadioGroup6", 3},
    {"M07 / M09", "SpinEdit9", "SpinEdit4", "RadioGroup8", 4},
    {"M08 / M09", "SpinEdit10", "SpinEdit5", "RadioGroup10", 5},
};
bool isRl(int model) { return model == ModelRL || model == ModelRLD; }
}  // namespace

TFIO::TFIO(QWidget* parent) : QDialog(parent)
{
    setObjectName("FIO");
    setWindowTitle("Select Outputs");
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    for (int r = 0; r < kRows; ++r) {
        const RowNames& n = kRowNames[r];
        auto* label = new QLabel(n.label, this);
        label->setObjectName(QString("LabelRow%1").arg(r + 1));
        auto* gpio = new QSpinBox(this);
        gpio->setObjectName(n.gpio);
        gpio->setPrefix("GPIO ");
        gpio->setRange(1, 6);
        auto* out = new QSpinBox(this);
        out->setObjectName(n.output);
        out->setRange(1, 16);
        out->setValue(n.defaultOutput);
        auto* group = new QGroupBox(this);
        group->setObjectName(n.level);
        group->setProperty("radioGroup", true);
        auto* gl = new QHBoxLayout(group);
        for (int v = 0; v < 2; ++v) {
            auto* b = new QRadioButton(QString::number(v), group);
            gl->addWidget(b);
            mLevelButtons[static_cast<std::size_t>(r)][static_cast<std::size_t>(v)] = b;
        }
        mLevelButtons[static_cast<std::size_t>(r)][0]->setChecked(true);
        grid->addWidget(label, r, 0);
        grid->addWidget(gpio, r, 1);
        grid->addWidget(out, r, 2);
        grid->addWidget(group, r, 3);
        mGpio[static_cast<std::size_t>(r)] = gpio;
        mOutput[static_cast<std::size_t>(r)] = out;
        mLevel[static_cast<std::size_t>(r)] = group;
        connect(gpio, &QSpinBox::valueChanged, this, [this, r] { GpioChange(r); });
    }
    mExtended = new QCheckBox("Extended I/O", this);
    mExtended->setObjectName("CheckBox1");
    connect(mExtended, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    top->addWidget(mExtended);
    auto* note = new QLabel("Note: Check KVX controller Manual for available ports and outputs", this);
    note->setObjectName("Label1");
    top->addWidget(note);
    mModel = new QLabel("KVX Type: ", this);
    mModel->setObjectName("Panel1");
    top->addWidget(mModel);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtn1");
    auto* abort = new QPushButton("Abort", this);
    abort->setObjectName("BitBtn2");
    buttons->addWidget(ok);
    buttons->addWidget(abort);
    top->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(abort, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

int TFIO::level(int row) const { return mLevelButtons[static_cast<std::size_t>(row)][1]->isChecked() ? 1 : 0; }

void TFIO::setLevel(int row, int value)
{
    mLevelButtons[static_cast<std::size_t>(row)][value == 1 ? 1 : 0]->setChecked(true);
}

void TFIO::FormCreate()
{
    IniFile* ini = SettingsIni();
    if (!ini) return;
    OutputSettings set;
    set.Read(*ini);
    mExtended->setChecked(set.Extended);
    for (int r = 0; r < kRows; ++r) {
        const OutputSettings::Row& row = set.Rows[static_cast<std::size_t>(r)];
        mGpio[static_cast<std::size_t>(r)]->setValue(row.Group + 1);
        mOutput[static_cast<std::size_t>(r)]->setValue(row.Output);
        setLevel(r, row.Sense);
    }
}

void TFIO::setGpioRange(int lo, int hi)
{
    for (QSpinBox* g : mGpio) g->setRange(lo, hi);
}

void TFIO::FormActivate()
{
    const int model = GetControllerModel();
    QSpinBox* tool = mGpio[0];
    switch (model) {
    case ModelC:
    case ModelQ:
        mModel->setText("KVX Type: C or Q");
        mExtended->setVisible(false);
        tool->setRange(1, 4);
        break;
    case ModelD:
        mModel->setText("KVX Type: D");
        mExtended->setVisible(true);
        mExtended->setChecked(true);
        mExtended->setEnabled(false);
        tool->setRange(3, 6);
        break;
    case ModelRL:
    case ModelRLD:
        mModel->setText(model == ModelRL ? "KVX Type: RL" : "KVX Type: RL-D");
        mExtended->setVisible(true);
        mExtended->setEnabled(true);
        if (mExtended->isChecked()) {
            tool->setRange(3, 6);
            tool->setValue(3);
        } else {
            tool->setRange(1, 2);
            tool->setValue(1);
        }
        break;
    default:
        break;
    }
    for (int r = 1; r < kRows; ++r) mGpio[static_cast<std::size_t>(r)]->setRange(tool->minimum(), tool->maximum());
    for (int r = 0; r < kRows; ++r) GpioChange(r);
    if (IniFile* ini = SettingsIni()) {
        OutputSettings set;
        set.Read(*ini);
        for (int r = 0; r < kRows; ++r)
            mGpio[static_cast<std::size_t>(r)]->setValue(set.Rows[static_cast<std::size_t>(r)].Group + 1);
    }
}

void TFIO::CheckBox1Click()
{
    if (mExtended->isChecked()) setGpioRange(3, 6);
    else setGpioRange(1, 2);
    for (QSpinBox* g : mGpio) g->setValue(g->minimum());
}

void TFIO::GpioChange(int row)
{
    QSpinBox* out = mOutput[static_cast<std::size_t>(row)];
    const int g = mGpio[static_cast<std::size_t>(row)]->value();
    const bool rl = isRl(GetControllerModel());
    out->setVisible(true);
    switch (g) {
    case 1: out->setMaximum(8); break;
    case 2:
        if (rl) out->setVisible(false);
        else out->setMaximum(6);
        break;
    case 3: out->setMaximum(8); break;
    case 4:
        if (rl) out->setVisible(false);
        else out->setMaximum(16);
        break;
    default: out->setMaximum(16); break;
    }
}

void TFIO::BitBtn1Click()
{
    if (IniFile* ini = SettingsIni()) {
        OutputSettings set;
        set.Extended = mExtended->isChecked();
        for (int r = 0; r < kRows; ++r)
            set.Rows[static_cast<std::size_t>(r)] = {mGpio[static_cast<std::size_t>(r)]->value() - 1,
                                                     mOutput[static_cast<std::size_t>(r)]->value(), level(r)};
        set.Write(*ini);
    }
    accept();
}

void TFIO::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormActivate();
}

std::array<OutputRow, TFIO::kRows> TFIO::rows() const
{
    std::array<OutputRow, kRows> out{};
    for (int r = 0; r < kRows; ++r)
        out[static_cast<std::size_t>(r)] = {mGpio[static_cast<std::size_t>(r)]->value(),
                                            mOutput[static_cast<std::size_t>(r)]->value(), level(r)};
    return out;
}

bool TFIO::extendedIo() const { return mExtended->isChecked(); }

}  // namespace mvx
