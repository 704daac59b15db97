#pragma once
// The pages of groups with several positioners: "Multiples" (TSmultiple: a per-positioner grid,
// upload and run of PVT files) and "XY" / "XYZ" (TSXY, TSXYZ: two or three positioners driven by
// a mouse joystick).

#include "joystickbox.h"
#include "motionpage.h"
#include "movesettings.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace mvx::maint {

class MultiplePage : public GroupMotionPage {
    Q_OBJECT
public:
    MultiplePage(MaintenanceContext& context, QWidget* parent);

    void positionsChanged(std::span<const double> positions) override;
    void saveSettings(IniFile& ini) override;

    // Fills the grid for the page's group from the local "system.ini" and the settings.
    void LoadMultipleGrid();
    int MultipleGroupSize() const { return mSize; }

    void ButtonAbsoluMultiplesClick();
    void ButtonRelatifMultiples(double sign);
    void ButtonJogMultiplesMouseDown(double sign);
    void ButtonChargePVTmultiplesClick();
    void ButtonExecutePVTmultiplesClick();

    // The file chooser of the PVT box (tests replace it); an empty name is a cancel.
    void setFileChooser(std::function<QString()> chooser) { mChooser = std::move(chooser); }

protected:
    int positionCount() const override { return mSize; }
    void groupChanged() override { LoadMultipleGrid(); }

private:
    std::optional<std::vector<double>> column(int col, double sign);
    void saveRows();
    bool upload(const QString& path);

    QTableWidget* mGrid = nullptr;
    QPushButton* mExecute = nullptr;
    int mSize = 1;
    std::string mGridGroup;  // the group whose rows the grid holds
    std::function<QString()> mChooser;
    bool mRunning = false;
};

// The XY (2 positioners) and XYZ (3) pages.
class PlanePage : public GroupMotionPage {
    Q_OBJECT
public:
    PlanePage(MaintenanceContext& context, QWidget* parent, int axes);

    void positionsChanged(std::span<const double> positions) override;
    void loadSettings(IniFile& ini) override;
    void saveSettings(IniFile& ini) override;

    void showPositioners();  // ShowXYPositioners / ShowXYZPositioners
    void absolute();
    void relative(double sign);
    JoystickBox* joystick(int i) const { return mBoxes[i]; }

    // ButtonDesactiveJogXYExit / GroupBoxOnOffXYZExit: the focus left the page's jog controls
    // for another control or window; jog mode goes off when it is on.
    void JogControlsExit();

protected:
    int positionCount() const override { return mAxes; }
    void groupChanged() override { showPositioners(); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::optional<std::vector<double>> fields(const std::vector<QLineEdit*>& edits, double sign);
    PlaneMoveSettings fieldValues() const;
    void joystickJog(int w, int h, QPoint p, bool held, bool zOnly);

    int mAxes;
    std::vector<QLineEdit*> mPositions, mRelative, mAbsolute;
    QLineEdit* mSpeed = nullptr;
    QLineEdit* mAcceleration = nullptr;
    std::vector<QLabel*> mLabels;
    std::vector<JoystickBox*> mBoxes;
    double mHoldSpeed = 0.0;
    double mHoldAcceleration = 0.0;
    // Where the focus may go without leaving jog: the disable button and the joysticks (and on
    // XYZ the "Moteur on/off" box).
    std::vector<QWidget*> mJogFocus;
    bool mExitPending = false;
};

// Registers "TSmultiple", "TSXY" and "TSXYZ".
void registerMultiplePages();

}  // namespace mvx::maint
