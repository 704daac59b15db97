#pragma once
// "Select Outputs": which digital output switches the tool and which outputs the spindle and
// coolant M codes drive. The values are kept in the settings file; the conversion reads them
// through rows() when the main window builds its configuration.

#include "outputsettings.h"
#include "translator/machineconfig.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace mvx {

class TFIO : public QDialog {
    Q_OBJECT
public:
    explicit TFIO(QWidget* parent = nullptr);

    static constexpr int kRows = OutputSettings::kRows;

    // The five rows as shown now (Activate tool, M03/M05, M04/M05, M07/M09, M08/M09).
    std::array<OutputRow, kRows> rows() const;
    bool extendedIo() const;

    // Reads the settings into the controls.
    void FormCreate();
    // Fits the GPIO ranges to the controller model and re-reads the GPIO values.
    void FormActivate();
    void CheckBox1Click();
    void GpioChange(int row);
    // OK: writes the settings and closes.
    void BitBtn1Click();

    QSpinBox* gpioEdit(int row) const { return mGpio[static_cast<std::size_t>(row)]; }
    QSpinBox* outputEdit(int row) const { return mOutput[static_cast<std::size_t>(row)]; }
    QCheckBox* extendedBox() const { return mExtended; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void setGpioRange(int lo, int hi);
    int level(int row) const;
    void setLevel(int row, int value);

    std::array<QSpinBox*, kRows> mGpio{};
    std::array<QSpinBox*, kRows> mOutput{};
    std::array<QGroupBox*, kRows> mLevel{};
    std::array<std::array<QRadioButton*, 2>, kRows> mLevelButtons{};
    QCheckBox* mExtended = nullptr;
    QLabel* mModel = nullptr;
};

}  // namespace mvx
