#include "page_io.h"

#include "pagecalls.h"
#include "core/common.h"
#include "core/inifile.h"
#include "consolesettings.h"
#include "link/api.h"
#include "translator/numtext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace mvx::maint {

namespace {

constexpr std::array<DigitalPortSpec, 7> kTsioPorts{{
    {"GPIO1.DI", 8, false, nullptr},
    {"GPIO2.DI", 6, false, nullptr},
    {"GPIO3.DI", 6, false, nullptr},
    {"GPIO4.DI", 16, false, nullptr},
    {"GPIO1.DO", 8, true, "SpeedButtn10"},
    {"GPIO3.DO", 6, true, "SpeedButton11"},
    {"GPIO4.DO", 16, true, "SpeedButton12"},
}};

constexpr std::array<DigitalPortSpec, 6> kTsiodPorts{{
    {"GPIO3.DI", 8, false, nullptr},
    {"GPIO5.DI", 16, false, nullptr},
    {"GPIO6.DI", 16, false, nullptr},
    {"GPIO3.DO", 8, true, "SpeedButton5"},
    {"GPIO5.DO", 16, true, "SpeedButton7"},
    {"GPIO6.DO", 16, true, "SpeedButton8"},
}};

constexpr double kIoTimeout = 1.0;
constexpr double kMaxVolts = 10.0;

QString bitName(const char* port, int bit) { return QString("%1.%2").arg(port).arg(bit); }

}  // namespace

unsigned OutputValue(std::span<const int> bits)
{
    unsigned v = 0;
    for (std::size_t i = 0; i < bits.size() && i < 32; ++i)
        if (bits[i] != 0) v |= 1u << i;
    return v;
}

unsigned OutputMask(int bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u; }

// ---------------------------------------------------------------------------------------------

DigitalIoPage::DigitalIoPage(MaintenanceContext& context, QWidget* parent, const char* pageName,
                             std::span<const DigitalPortSpec> ports, const char* pollButton, const char* readButton)
    : MaintenancePage(context, parent)
{
    registerPageTexts();
    setObjectName(pageName);
    auto* top = new QVBoxLayout(this);
    int inNumber = 0;
    int outNumber = 0;
    for (const DigitalPortSpec& spec : ports) {
        Port port{spec, {}, {}, false};
        const QString caption = spec.output ? QString("Sorties digitales %1 (%2)").arg(++outNumber).arg(spec.name)
                                            : QString("Entrées digitales  %1 (%2)").arg(++inNumber).arg(spec.name);
        auto* box = new QGroupBox(caption, this);
        // Both digital pages show some ports: the page name keeps the boxes apart.
        box->setObjectName(QString("GroupBox_") + pageName + "_" + spec.name);
        auto* grid = new QGridLayout(box);
        grid->setHorizontalSpacing(4);
        grid->setVerticalSpacing(4);
        for (int bit = 1; bit <= spec.bits; ++bit) {
            // Each bit's number stands left of its field, so a port takes one row (two for 16
            // bits, where bits 9 to 16 run from right to left) and the page fits a small screen.
            const int row = bit <= 8 ? 0 : 1;
            const int col = 2 * (bit <= 8 ? bit - 1 : 16 - bit);
            auto* label = new QLabel(QString::number(bit), box);
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(label, row, col);
            grid->setColumnStretch(col + 1, 1);
            if (spec.output) {
                auto* spin = new QSpinBox(box);
                spin->setObjectName(bitName(spec.name, bit));
                spin->setRange(0, 1);
                grid->addWidget(spin, row, col + 1);
                port.outputs.push_back(spin);
                const std::size_t index = mPorts.size();
                connect(spin, &QSpinBox::valueChanged, this, [this, index] { mPorts[index].edited = true; });
            } else {
                auto* field = new QLineEdit("X", box);
                field->setObjectName(bitName(spec.name, bit));
                field->setReadOnly(true);
                field->setMinimumWidth(24);
                grid->addWidget(field, row, col + 1);
                port.inputs.push_back(field);
            }
        }
        if (spec.output) {
            auto* change = new QPushButton("Changer", box);
            change->setObjectName(spec.changeButton);
            grid->addWidget(change, 0, 16, spec.bits > 8 ? 2 : 1, 1);
            const QString name = spec.name;
            connect(change, &QPushButton::clicked, this, [this, name] { writePort(name); });
        }
        top->addWidget(box);
        mPorts.push_back(std::move(port));
    }
    auto* buttons = new QHBoxLayout;
    mPollButton = new QPushButton("Lire les entrées", this);
    mPollButton->setObjectName(pollButton);
    mPollButton->setCheckable(true);
    mReadButton = new QPushButton("Lire les entrées et les sorties", this);
    mReadButton->setObjectName(readButton);
    buttons->addWidget(mPollButton);
    buttons->addWidget(mReadButton);
    top->addLayout(buttons);
    top->addStretch();

    mTimer = new QTimer(this);
    mTimer->setObjectName("Timer1");
    mTimer->setInterval(100);
    connect(mTimer, &QTimer::timeout, this, &DigitalIoPage::pollTick);
    connect(mPollButton, &QPushButton::toggled, this, &DigitalIoPage::setPolling);
    connect(mReadButton, &QPushButton::clicked, this, &DigitalIoPage::readAll);
}

void DigitalIoPage::pageShown()
{
    context().stopPositionReading();
    // The window stops every poll timer itself (reboot): the latched button follows.
    if (mPollButton->isChecked() && !mTimer->isActive()) setPolling(false);
}

// Leaving the page of the C and Q controllers stops its poll; the page of the D and RL
// controllers keeps polling while other pages are shown, until its button is released, a
// reboot or the window's close.
void DigitalIoPage::pageHidden()
{
    if (objectName() == "TSIO") setPolling(false);
}

void DigitalIoPage::windowClosing() { setPolling(false); }

bool DigitalIoPage::polling() const { return mTimer->isActive(); }

void DigitalIoPage::setPolling(bool on)
{
    if (mPollButton->isChecked() != on) {
        const QSignalBlocker block(mPollButton);
        mPollButton->setChecked(on);
    }
    mReadButton->setEnabled(!on);
    mPollErrors.clear();
    if (on)
        mTimer->start();
    else
        mTimer->stop();
}

void DigitalIoPage::readAll()
{
    for (Port& p : mPorts) p.edited = false;
    readPorts(true, false);
    readPorts(false, false);
    for (Port& p : mPorts) p.edited = false;
}

void DigitalIoPage::pollTick()
{
    // A tick that comes while the last one still waits for the controller is skipped.
    if (mTickRunning) return;
    mTickRunning = true;
    mTickFailed = false;
    readPorts(true, true);
    readPorts(false, true);
    if (!mTickFailed) mPollErrors.clear();
    mTickRunning = false;
}

// A failing poll would log ten lines a second: each failure once, none while it repeats.
void DigitalIoPage::logPoll(int code, const QString& port)
{
    mTickFailed = true;
    const QString key = port + "#" + QString::number(code);
    if (mPollErrors.contains(key)) return;
    mPollErrors << key;
    context().log(code == api::kErrorNoSocket ? Text("stringnoconnectionmaint")
                                              : port + " : " + context().decripte_erreur(code));
}

void DigitalIoPage::readPorts(bool inputs, bool poll)
{
    QPointer<DigitalIoPage> self(this);
    const bool connected = WithConnection(context(), kIoTimeout, [&](int socket) {
        for (std::size_t i = 0; i < mPorts.size(); ++i) {
            if (!self) return;
            Port& p = mPorts[i];
            if (p.spec.output == inputs) continue;
            int value = 0;
            const int code = api::GPIODigitalGet(socket, p.spec.name, value);
            if (!self) return;
            if (code != 0) {
                if (poll)
                    logPoll(code, p.spec.name);
                else
                    context().log(context().decripte_erreur(code));
                continue;  // the port keeps its last display
            }
            for (std::size_t b = 0; b < p.inputs.size(); ++b)
                p.inputs[b]->setText(((unsigned(value) >> b) & 1u) ? "1" : "0");
            // Boxes the user is editing are not overwritten by the poll.
            if (!(poll && p.edited)) {
                for (std::size_t b = 0; b < p.outputs.size(); ++b) {
                    const QSignalBlocker block(p.outputs[b]);
                    p.outputs[b]->setValue(int((unsigned(value) >> b) & 1u));
                }
            }
        }
    }, poll);
    if (!connected && poll && self) logPoll(api::kErrorNoSocket, QString());
}

void DigitalIoPage::writePort(const QString& name)
{
    for (Port& p : mPorts) {
        if (!p.spec.output || name != p.spec.name) continue;
        std::vector<int> bits;
        for (QSpinBox* s : p.outputs) bits.push_back(s->value());
        const unsigned value = OutputValue(bits);
        const unsigned mask = OutputMask(p.spec.bits);
        const std::string port = p.spec.name;
        const int code = CallOnConnection(context(), kIoTimeout,
                                          [&](int socket) { return api::GPIODigitalSet(socket, port, mask, value); });
        if (code == 0) p.edited = false;
        return;
    }
}

// ---------------------------------------------------------------------------------------------

double AnalogIoPage::TrackToVolts(int position) { return (position - 5000) / 500.0; }

int AnalogIoPage::VoltsToTrack(double volts) { return int(std::lround(volts * 500.0)) + 5000; }

AnalogIoPage::AnalogIoPage(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    registerPageTexts();
    setObjectName("TabSheet1");
    auto* top = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel("nom du groupe", this));
    mConnector = new QLineEdit(this);
    mConnector->setObjectName("Edit172");
    head->addWidget(mConnector);
    mExtensions = new QCheckBox("Utiliser les extensions", this);
    mExtensions->setObjectName("CheckBox1");
    head->addWidget(mExtensions);
    top->addLayout(head);

    static constexpr std::array<const char*, 8> kGainNames{"ComboBox1", "ComboBox2", "ComboBox3", "ComboBox4",
                                                           "ComboBox10", "ComboBox11", "ComboBox12", "ComboBox13"};
    auto* inputs = new QGridLayout;
    for (int i = 0; i < 8; ++i) {
        auto* box = new QGroupBox(QString("Entrée %1").arg(i + 1), this);
        box->setObjectName(QString("GroupBoxADC%1").arg(i + 1));
        auto* l = new QHBoxLayout(box);
        mValues[i] = new QLineEdit(box);
        mValues[i]->setObjectName(QString("EditADC%1").arg(i + 1));
        mValues[i]->setReadOnly(true);
        mGains[i] = new QComboBox(box);
        mGains[i]->setObjectName(kGainNames[i]);
        mGains[i]->setEditable(true);
        mGains[i]->addItems({"1", "2", "4", "8"});
        mGains[i]->setCurrentIndex(0);
        l->addWidget(mValues[i]);
        l->addWidget(mGains[i]);
        inputs->addWidget(box, i % 4, i / 4);
        mInputBoxes[i] = box;
        connect(mGains[i], &QComboBox::textActivated, this, [this, i] { gainChanged(i); });
        connect(mGains[i]->lineEdit(), &QLineEdit::editingFinished, this, [this, i] {
            // Enter in the edit also activates the box; send once.
            if (mGains[i]->lineEdit()->isModified()) {
                mGains[i]->lineEdit()->setModified(false);
                gainChanged(i);
            }
        });
    }
    top->addLayout(inputs);

    static constexpr std::array<const char*, 4> kOutputCaptions{"Sortie1", "Sortie 2", "Sortie 3", "Sortie 4"};
    for (int i = 0; i < 4; ++i) {
        auto* box = new QGroupBox(kOutputCaptions[i], this);
        box->setObjectName(QString("GroupBoxDAC%1").arg(i + 1));
        auto* l = new QHBoxLayout(box);
        mTracks[i] = new QSlider(Qt::Horizontal, box);
        mTracks[i]->setObjectName(QString("TrackBar%1").arg(i + 1));
        mTracks[i]->setRange(0, 10000);
        mTracks[i]->setTickInterval(1000);
        mTracks[i]->setTickPosition(QSlider::TicksBelow);
        mTracks[i]->setValue(5000);
        mVolts[i] = new QLineEdit("0.000", box);
        mVolts[i]->setObjectName(QString("Edit%1").arg(62 + i));
        l->addWidget(mTracks[i]);
        l->addWidget(mVolts[i]);
        top->addWidget(box);
        connect(mTracks[i], &QSlider::valueChanged, this, [this, i](int p) {
            mVolts[i]->setText(QString::fromStdString(num::fixed(TrackToVolts(p), 3)));
        });
        connect(mVolts[i], &QLineEdit::editingFinished, this, [this, i] { fieldExit(i); });
    }
    auto* buttons = new QHBoxLayout;
    auto* read = new QPushButton("Lire", this);
    read->setObjectName("Button50");
    auto* change = new QPushButton("Changer", this);
    change->setObjectName("Button51");
    buttons->addWidget(read);
    buttons->addWidget(change);
    top->addLayout(buttons);
    top->addStretch();
    connect(read, &QPushButton::clicked, this, &AnalogIoPage::Button50Click);
    connect(change, &QPushButton::clicked, this, &AnalogIoPage::Button51Click);
    connect(mExtensions, &QCheckBox::toggled, this, &AnalogIoPage::showExtensions);
    showExtensions(false);
}

bool AnalogIoPage::extensionsUsed() const { return mExtensions->isChecked(); }

void AnalogIoPage::showExtensions(bool on)
{
    for (int i = 4; i < 8; ++i) mInputBoxes[i]->setVisible(on);
}

QString AnalogIoPage::channel(const char* kind, int n) const
{
    return mConnector->text() + "." + kind + QString::number(n);
}

void AnalogIoPage::pageShown()
{
    context().stopPositionReading();
    mConnector->setText(QString::fromStdString(common().AnalogConnectorName));
}

void AnalogIoPage::windowShown(int model)
{
    const bool always = model == ModelD || model == ModelRL;
    if (always) mExtensions->setChecked(true);
    mExtensions->setVisible(!always);
    if (mConnector->text().isEmpty()) mConnector->setText(QString::fromStdString(common().AnalogConnectorName));
}

void AnalogIoPage::loadSettings(IniFile& ini) { mExtensions->setChecked(ReadAnalogExtensions(ini)); }

void AnalogIoPage::saveSettings(IniFile& ini) { WriteAnalogExtensions(ini, mExtensions->isChecked()); }

void AnalogIoPage::Button50Click()
{
    if (mConnector->text().isEmpty()) mConnector->setText(QString::fromStdString(common().AnalogConnectorName));
    const int inputs = extensionsUsed() ? 8 : 4;
    QPointer<AnalogIoPage> self(this);
    WithConnection(context(), kIoTimeout, [&](int socket) {
        for (int i = 0; i < inputs && self; ++i) {
            std::array<int, 1> gain{0};
            const int code = api::GPIOAnalogGainGet(socket, channel("ADC", i + 1).toStdString(), gain);
            if (!self) return;
            if (code != 0) {
                context().log(context().decripte_erreur(code));
                continue;
            }
            mFilling = true;
            mGains[i]->setCurrentText(QString::number(gain[0]));
            mFilling = false;
        }
        for (int i = 0; i < inputs && self; ++i) {
            std::array<double, 1> v{0.0};
            const int code = api::GPIOAnalogGet(socket, channel("ADC", i + 1).toStdString(), v);
            if (!self) return;
            if (code != 0) {
                context().log(context().decripte_erreur(code));
                continue;
            }
            mValues[i]->setText(QString::fromStdString(num::fixed(v[0], 8)));
        }
        for (int i = 0; i < 4 && self; ++i) {
            std::array<double, 1> v{0.0};
            const int code = api::GPIOAnalogGet(socket, channel("DAC", i + 1).toStdString(), v);
            if (!self) return;
            if (code != 0) {
                context().log(context().decripte_erreur(code));
                continue;
            }
            mVolts[i]->setText(QString::fromStdString(num::fixed(v[0], 8)));
            const int p = std::clamp(VoltsToTrack(v[0]), 0, 10000);
            mTracks[i]->setValue(p);
        }
    });
}

void AnalogIoPage::fieldExit(int output)
{
    const std::optional<double> v = num::parseStrict(mVolts[output]->text().toStdString());
    if (!v || !std::isfinite(*v) || std::fabs(*v) > kMaxVolts) {
        context().log(Text("stringvoltagerange", mVolts[output]->text()));
        // The field goes back to what the bar (and so the last valid value) says.
        mVolts[output]->setText(QString::fromStdString(num::fixed(TrackToVolts(mTracks[output]->value()), 3)));
        return;
    }
    mTracks[output]->setValue(VoltsToTrack(*v));
}

void AnalogIoPage::Button51Click()
{
    std::array<double, 4> volts{};
    for (int i = 0; i < 4; ++i) {
        const std::optional<double> v = num::parseStrict(mVolts[i]->text().toStdString());
        if (!v || !std::isfinite(*v) || std::fabs(*v) > kMaxVolts) {
            // No output changes when one value is wrong.
            context().log(Text("stringvoltagerange", mVolts[i]->text()));
            return;
        }
        volts[i] = *v;
    }
    QPointer<AnalogIoPage> self(this);
    WithConnection(context(), kIoTimeout, [&](int socket) {
        for (int i = 0; i < 4 && self; ++i) {
            const std::array<double, 1> v{volts[i]};
            const int code = api::GPIOAnalogSet(socket, channel("DAC", i + 1).toStdString(), v);
            if (!self) return;
            if (code != 0) context().log(context().decripte_erreur(code));
        }
    });
}

void AnalogIoPage::gainChanged(int input)
{
    if (mFilling) return;
    const QString text = mGains[input]->currentText();
    const std::optional<long long> g = num::parseIntStrict(text.toStdString());
    if (!g || *g < 1 || *g > 8) {
        context().log(Text("stringgainrange", text));
        return;
    }
    const std::array<int, 1> gain{int(*g)};
    const std::string name = channel("ADC", input + 1).toStdString();
    CallOnConnection(context(), kIoTimeout, [&](int socket) { return api::GPIOAnalogGainSet(socket, name, gain); });
}

void registerIoPages()
{
    registerMaintenancePage("TSIO", [](MaintenanceContext& c, QWidget* p) {
        return new DigitalIoPage(c, p, "TSIO", kTsioPorts, "SpeedButton9", "Button45");
    });
    registerMaintenancePage("TSIOD", [](MaintenanceContext& c, QWidget* p) {
        return new DigitalIoPage(c, p, "TSIOD", kTsiodPorts, "SpeedButton4", "Buttonles");
    });
    registerMaintenancePage("TabSheet1", [](MaintenanceContext& c, QWidget* p) { return new AnalogIoPage(c, p); });
}

}  // namespace mvx::maint
