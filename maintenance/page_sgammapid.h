#pragma once
// The tuning pages: "Param. axes" (TSVAJ, SGamma profile of a positioner) and "PID" (TSPID, the
// servo corrector, whose parameter set follows the corrector type the controller reports).

#include "maintenancecontext.h"

#include <QString>

#include <array>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace mvx::maint {

class SGammaPage : public MaintenancePage {
    Q_OBJECT
public:
    SGammaPage(MaintenanceContext& context, QWidget* parent);
    void pageShown() override;
    void Button54Click();  // "Lire"
    void Button55Click();  // "Changer"

private:
    QComboBox* mAxis = nullptr;
    std::array<QLineEdit*, 4> mFields{};  // velocity, acceleration, min jerk, max jerk
};

// Corrector kinds the page knows; Unknown for any other type name.
enum class CorrectorKind { Unknown, DualFFVoltage, PIPosition, FFVelocity, FFAcceleration };
CorrectorKind CorrectorKindOf(const std::string& typeName);

class PidPage : public MaintenancePage {
    Q_OBJECT
public:
    PidPage(MaintenanceContext& context, QWidget* parent);
    void pageShown() override;
    void ReadCorrector();
    void WriteCorrector();

private:
    std::string positioner() const;
    bool readFields(const std::vector<QLineEdit*>& fields, std::vector<double>& values);
    void showFields(const std::vector<QLineEdit*>& fields, const double* values, std::size_t n);
    void showBigBox(bool visible, const QString& caption, bool withDual);

    QComboBox* mAxis = nullptr;
    QLabel* mType = nullptr;
    QCheckBox* mClosedLoop = nullptr;
    QGroupBox* mPiBox = nullptr;   // GroupBox18
    QGroupBox* mPidBox = nullptr;  // GroupBox19
    std::vector<QLineEdit*> mPiFields;       // KP, KI, integration time
    std::vector<QLineEdit*> mPidFields;      // the 13 of the dual voltage corrector, in call order
    std::vector<QWidget*> mDualOnly;         // FFGA, Friction and their labels
    // What the fields hold: read for this positioner and this corrector type.
    std::string mReadFor;
    CorrectorKind mReadKind = CorrectorKind::Unknown;
};

// Registers "TSVAJ" and "TSPID".
void registerTuningPages();

}  // namespace mvx::maint
