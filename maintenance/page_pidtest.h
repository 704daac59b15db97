#pragma once
// "Test PID" page (TSAdjPID): a step-response test of one positioner with data gathering of the
// setpoint, the current position and the following error, their derivatives and spectra, and
// the PID-test log (save and load).
//
// GUI thread. A test runs inside the "Test" handler and waits with events dispatched; the
// button is off meanwhile, and closing the window ends the waits.

#include "maintenancecontext.h"
#include "pidtestlog.h"

#include <array>
#include <functional>

class QAbstractAxis;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QLogValueAxis;
class QPushButton;
class QRadioButton;
class QValueAxis;

namespace mvx::maint {

class Tfparamfft;

inline constexpr int kPidTestMaxPoints = 4000;

class PidTestPage : public MaintenancePage {
    Q_OBJECT
public:
    PidTestPage(MaintenanceContext& context, QWidget* parent);

    void pageShown() override { TSAdjPIDShow(); }
    void pageHidden() override { TSAdjPIDExit(); }
    void positionsChanged(std::span<const double> positions) override;
    void loadSettings(IniFile& ini) override;
    void saveSettings(IniFile& ini) override;
    void windowClosing() override { mAbort = true; }

    void TSAdjPIDShow();
    void TSAdjPIDExit();
    void ComboBox5Change();
    void RadioGroup1Click();
    void Edit_lenghtChange();
    void Edit_durationChange();
    void Button96Click();
    void BitBtn7Click();
    // The test; false when it stopped before plotting (the reason is in the log pane).
    bool BitBtn2Click();
    void SB_valid_theoricalClick();
    bool BitBtn_loadClick();
    bool BitBtn5Click();
    void BitBtn4Click();

    // Injected file dialogs (tests): the chosen path, empty for cancel.
    std::function<QString()> openFileDialog;
    std::function<QString()> saveFileDialog;

    bool loadLog(const std::string& path);
    bool saveLog(const std::string& path);

    // Fields and series for tests.
    QComboBox* axisBox() const { return mComboBox5; }
    QLineEdit* startEdit() const { return mStart; }
    QLineEdit* periodEdit() const { return mPeriod; }
    QLineEdit* durationEdit() const { return mDuration; }
    QLineEdit* pointsEdit() const { return mPoints; }
    QLineEdit* lengthEdit() const { return mLength; }
    QLineEdit* speedEdit() const { return mSpeed; }
    QLineEdit* pvtEdit() const { return mEdit164; }
    QRadioButton* complexButton() const { return mComplex; }
    QLineSeries* series(int index) const { return mSeries[index]; }  // 1..11 as Series1..Series11
    QChartView* spectrumView() const { return mSpectrumView; }
    bool spectrumLogarithmic() const { return mLogarithmic; }
    int pidTestDelay() const { return mDelayMs; }
    void setLogarithmic(bool on);

private:
    void clearSeries();
    void plot(const std::vector<PidSample>& samples, double period);
    void writeTestSettings(IniFile& ini, bool report);
    bool waitUntil(const std::function<bool()>& done);

    QComboBox* mComboBox5 = nullptr;
    QLineEdit* mEdit66 = nullptr;
    QLineEdit *mStart = nullptr, *mPeriod = nullptr, *mDuration = nullptr, *mPoints = nullptr;
    QLineEdit *mEdit164 = nullptr, *mLength = nullptr, *mSpeed = nullptr;
    QLabel *mLengthLabel = nullptr, *mSpeedLabel = nullptr;
    QRadioButton *mSimple = nullptr, *mComplex = nullptr;
    QPushButton *mButton96 = nullptr, *mTest = nullptr, *mLoad = nullptr;
    QPushButton *mTheorical = nullptr, *mMeasured = nullptr, *mError = nullptr, *mFft = nullptr, *mSpeedView = nullptr;
    QChart *mChart1 = nullptr, *mChart2 = nullptr;
    QChartView *mSignalView = nullptr, *mSpectrumView = nullptr;
    QValueAxis *mSignalAxisX = nullptr, *mSignalAxisY = nullptr, *mSpectrumAxisX = nullptr, *mSpectrumAxisY = nullptr;
    QLogValueAxis* mSpectrumLogAxis = nullptr;
    std::array<QLineSeries*, 12> mSeries{};
    Tfparamfft* mParam = nullptr;

    std::vector<PidSample> mSamples;
    bool mSkipFirstOnSave = true;  // after a test the first sample (x = 0) is not saved
    double mPidTestPeriod = 0.05;
    int mDelayMs = 50;
    bool mLogarithmic = true;
    bool mRunning = false;
    bool mAbort = false;
};

// Registers the page under "TSAdjPID" and its texts.
void registerPidTestTexts();

}  // namespace mvx::maint
