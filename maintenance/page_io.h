#pragma once
// The I/O pages: digital ports ("E/S Digit." TSIO for models other than D and RL, "E/S Digit"
// TSIOD for D and RL) with their 100 ms poll, and the analog page ("E/S Alog." TabSheet1).
// GUI thread only; every handler takes its own pooled connection.

#include "maintenancecontext.h"

#include <QString>
#include <QStringList>

#include <array>
#include <span>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

namespace mvx::maint {

struct DigitalPortSpec {
    const char* name;          // "GPIO1.DI"
    int bits;                  // bits shown
    bool output;
    const char* changeButton;  // outputs: name of its "Changer" button
};

// Value of the output boxes (bit 1 = least significant) and the mask a write uses: the bits
// the page shows, so a bit that is not on the page is never changed.
unsigned OutputValue(std::span<const int> bits);
unsigned OutputMask(int bits);

class DigitalIoPage : public MaintenancePage {
    Q_OBJECT
public:
    // `pageName` "TSIO" or "TSIOD"; the ports in reading order.
    DigitalIoPage(MaintenanceContext& context, QWidget* parent, const char* pageName,
                  std::span<const DigitalPortSpec> ports, const char* pollButton, const char* readButton);

    void pageShown() override;
    void pageHidden() override;
    void windowClosing() override;

    // Reads inputs then outputs once (the "Lire les entrées et les sorties" button).
    void readAll();
    // The 100 ms poll (latched button).
    void setPolling(bool on);
    bool polling() const;
    // Writes one output port from its boxes.
    void writePort(const QString& port);

private:
    struct Port {
        DigitalPortSpec spec;
        std::vector<QLineEdit*> inputs;
        std::vector<QSpinBox*> outputs;
        bool edited = false;  // boxes changed by the user since the last write or explicit read
    };
    void readPorts(bool inputs, bool poll);
    void pollTick();
    void logPoll(int code, const QString& port);

    std::vector<Port> mPorts;
    QTimer* mTimer = nullptr;
    QPushButton* mPollButton = nullptr;
    QPushButton* mReadButton = nullptr;
    bool mTickRunning = false;
    QStringList mPollErrors;  // failures logged since the poll last read without one
    bool mTickFailed = false;
};

class AnalogIoPage : public MaintenancePage {
    Q_OBJECT
public:
    AnalogIoPage(MaintenanceContext& context, QWidget* parent);

    void pageShown() override;
    void windowShown(int model) override;
    void loadSettings(IniFile& ini) override;
    void saveSettings(IniFile& ini) override;

    void Button50Click();  // "Lire"
    void Button51Click();  // "Changer"
    // A gain entered in input box i (0..7).
    void gainChanged(int input);
    bool extensionsUsed() const;

    // Track bar position <-> volts: p stands for (p - 5000) / 500 V.
    static double TrackToVolts(int position);
    static int VoltsToTrack(double volts);

private:
    QString channel(const char* kind, int n) const;
    void fieldExit(int output);
    void showExtensions(bool on);

    QLineEdit* mConnector = nullptr;
    std::array<QGroupBox*, 8> mInputBoxes{};
    std::array<QLineEdit*, 8> mValues{};
    std::array<QComboBox*, 8> mGains{};
    std::array<QSlider*, 4> mTracks{};
    std::array<QLineEdit*, 4> mVolts{};
    QCheckBox* mExtensions = nullptr;
    bool mFilling = false;  // boxes being filled from the controller, not by the user
};

// Registers "TSIO", "TSIOD" and "TabSheet1".
void registerIoPages();

}  // namespace mvx::maint
