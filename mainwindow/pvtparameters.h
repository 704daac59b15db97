#pragma once
// "PVT trajectory parameters": why the controller rejected a PVT file. For X, Y and Z the
// extents the controller computed for the trajectory stand beside the positioner's limits, and
// every extent beyond its limit is marked "Error".
//
// Thread: GUI thread. The controller calls of a show run on a helper thread over one pooled
// connection while events are dispatched.

#include "link/controller.h"
#include <QDialog>

#include <array>
#include <functional>
#include <string>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace mvx {

struct PvtParametersContext {
    std::string GroupName;
    std::array<std::string, 3> Positioners;  // X, Y, Z positioners ("GROUP1.X")
    bool XYGroupOnly = false;
    std::array<double, 3> CurrentPosition{};  // where the trajectory starts
};

// One axis' numbers as the controller gave them.
struct PvtAxisReading {
    int ResultCode = -1;
    double MinPos = 0, MaxPos = 0, MaxVel = 0, MaxAcc = 0;
    int LimitCode = -1;
    double TravelMin = 0, TravelMax = 0, LimitVel = 0, LimitAcc = 0;
};

class TFPVTparameters : public QDialog {
    Q_OBJECT
public:
    TFPVTparameters(QWidget* parent, link::Controller& controller);

    // Where the group, its positioners and the current position come from (read at each show).
    void setContextProvider(std::function<PvtParametersContext()> provider) { mProvider = std::move(provider); }
    // The file under check, "TRJ" + n + ".PVT".
    void setFileName(const std::string& name) { mFileName = name; }
    // Cancel: the verification loop stops after this file.
    void setCancelHook(std::function<void()> hook) { mCancelHook = std::move(hook); }

    // Fills the grid (the show handler).
    void FormShow();
    void BitBtn2Click();

    QTableWidget* grid() const noexcept { return mGrid; }
    std::string cell(int row, int column) const;
    std::string fileText() const;
    std::string errorText() const;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void setTitles(bool withZ);
    void setCell(int row, int column, const std::string& text);
    void fill(int verifyCode, const std::string& verifyText, const std::array<PvtAxisReading, 3>& axes,
              const PvtParametersContext& ctx);

    std::function<PvtParametersContext()> mProvider;
    std::function<void()> mCancelHook;
    std::string mFileName;
    QLineEdit* mEdit3 = nullptr;
    QLineEdit* mEdit2 = nullptr;
    QTableWidget* mGrid = nullptr;
    QPushButton* mOk = nullptr;
    QPushButton* mCancel = nullptr;

private:
    link::Controller& mController;
};

}  // namespace mvx
