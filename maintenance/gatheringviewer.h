#pragma once
// The gathering-file viewer (TFshowgathering, "Fshowgathering") with its column setup dialog
// (TFsetupviewer, "Fsetupviewer"), its XY plot (TFXY, "FXY"), and the spectrum parameters
// dialog of the PID step test (Tfparamfft, "fparamfft"). GUI thread only.
//
// The viewer owns its setup and XY dialogs. File dialogs are injectable for tests.

#include "link/controller.h"
#include "gatheringfile.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QChart;
class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QValueAxis;

namespace mvx::maint {

class TFsetupviewer : public QDialog {
    Q_OBJECT
public:
    explicit TFsetupviewer(QWidget* parent);

    // The columns to edit and the current one (0-based).
    void setColumns(std::vector<ColumnRecord> records, int current);
    const std::vector<ColumnRecord>& columns() const { return mRecords; }
    int currentColumn() const { return mCurrent; }

    void selectColumn(int index);
    // "Save": every column's record to the settings file, then close. False when a write failed
    // (the dialog then stays open with the message shown).
    bool SaveClick();
    void AbortClick() { reject(); }

    QListWidget* columnList() const { return mList; }
    QLineEdit* multiplierEdit() const { return mMulti; }
    QLineEdit* offsetEdit() const { return mOffset; }
    QLineEdit* minEdit() const { return mMin; }
    QLineEdit* maxEdit() const { return mMax; }
    QCheckBox* visibleBox() const { return mVisible; }
    QCheckBox* fftBox() const { return mFft; }
    QCheckBox* autoBox() const { return mAuto; }

private:
    void showCurrent();
    void editChanged();

    std::vector<ColumnRecord> mRecords;
    int mCurrent = -1;
    bool mFilling = false;
    QListWidget* mList = nullptr;
    QLineEdit *mMulti = nullptr, *mOffset = nullptr, *mMin = nullptr, *mMax = nullptr;
    QLabel *mMinLabel = nullptr, *mMaxLabel = nullptr;
    QCheckBox *mVisible = nullptr, *mFft = nullptr, *mAuto = nullptr;
};

class TFXY : public QDialog {
    Q_OBJECT
public:
    explicit TFXY(QWidget* parent);
    // Fills the one series: column `first` across, column `second` up, in sample order.
    void setData(const GatheringData& data, const ColumnRecord& first, const ColumnRecord& second);
    QLineSeries* series() const { return mSeries; }
    QString horizontalTitle() const;
    QString verticalTitle() const;

private:
    QChart* mChart = nullptr;
    QLineSeries* mSeries = nullptr;
    QValueAxis* mAxisX = nullptr;
    QValueAxis* mAxisY = nullptr;
};

class TFshowgathering : public QDialog {
    Q_OBJECT
public:
    TFshowgathering(QWidget* parent, link::Controller& controller);

    // Fetches "Gathering.dat" from the controller's gathering folder and charts it.
    void Button1Click();
    void Button2Click();  // setup parameters
    bool Button3Click();  // save current as reference
    void Button4Click();  // show reference values
    bool Button5Click();  // save as file
    void Button6Click();  // read a chosen file
    void Button7Click();  // XY
    void CheckBox1Click();

    // Reads a local file as "Read file" does (`full`: the axis settings too, as after a fetch).
    // False (and a message) when the file cannot be read.
    bool loadFile(const std::string& path, bool full);

    // Injected dialogs: they return the chosen path, empty for cancel.
    std::function<QString()> openFileDialog;
    std::function<QString()> saveFileDialog;
    // Replaces the fetch (tests); returns whether the file arrived in the program folder.
    std::function<bool()> fetchOverride;

    int columnCount() const { return mColumnCount; }
    const GatheringData& data() const { return mData; }
    const ColumnRecord& record(int index) const { return mRecords[index]; }
    QLineSeries* series(int index) const { return mSeries[index]; }
    QLineSeries* spectrum(int index) const { return mSpectra[index]; }
    QChart* timeChart() const { return mChart1; }
    QChartView* spectrumView() const { return mSpectrumView; }
    QValueAxis* leftAxis() const { return mSignalAxisY; }
    QCheckBox* fftBox() const { return mCheckBox1; }
    QString statusText() const;
    TFsetupviewer* setupDialog() const { return mSetup; }
    TFXY* xyDialog() const { return mXY; }
    bool busy() const { return mBusy; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    link::Controller& mController;
    void chart(bool full, bool fileRead);
    void computeSpectra(bool fileRead);
    void applyAxis(const ColumnRecord& record);
    void fitAxes();
    void setBusy(bool busy);
    void setStatus(const QString& text);

    GatheringData mData;
    std::string mText;
    std::string mSourcePath;  // the file shown; empty before the first read
    bool mSourceFetched = false;
    std::array<ColumnRecord, kGatheringMaxColumns> mRecords{};
    int mColumnCount = 0;
    int mSelected = 1;
    bool mLoadedOnce = false;
    bool mBusy = false;

    QChart* mChart1 = nullptr;
    QChart* mChart2 = nullptr;
    QChartView* mSignalView = nullptr;
    QChartView* mSpectrumView = nullptr;
    QValueAxis *mSignalAxisX = nullptr, *mSignalAxisY = nullptr, *mSpectrumAxisX = nullptr, *mSpectrumAxisY = nullptr;
    std::array<QLineSeries*, kGatheringMaxColumns> mSeries{};
    std::array<QLineSeries*, kGatheringMaxColumns> mSpectra{};
    QPlainTextEdit* mRichEdit1 = nullptr;
    std::array<QPushButton*, 8> mButtons{};  // Button1..Button7 at 1..7
    QCheckBox* mCheckBox1 = nullptr;
    QLabel* mStatus = nullptr;
    QTimer* mTimer1 = nullptr;
    TFsetupviewer* mSetup = nullptr;
    TFXY* mXY = nullptr;
};

// "FTT Parameters": the delay before acquisition of the PID step test and the logarithmic
// spectrum axis, kept in section "TESTPID".
class Tfparamfft : public QDialog {
    Q_OBJECT
public:
    // `applied` gets the delay and the logarithmic flag when they are read or stored.
    Tfparamfft(QWidget* parent, std::function<void(int delayMs, bool logarithmic)> applied = {});

    void FormActivate();
    // OK: stores the values and closes; false (message shown, dialog open) for a bad delay.
    bool BitBtn2Click();
    QLineEdit* delayEdit() const { return mEdit1; }
    QCheckBox* logBox() const { return mCheckBox1; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<void(int, bool)> mApplied;
    QLineEdit* mEdit1 = nullptr;
    QCheckBox* mCheckBox1 = nullptr;
};

// Built-in texts of the viewer (once).
void registerGatheringTexts();

}  // namespace mvx::maint
