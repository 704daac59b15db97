#pragma once
// "PVT Files Controls": lists the PVT files of the output folder and tabulates one of them segment
// by segment (the row, running time and positions, each axis' cubic over the segment and its
// largest acceleration), so a user sees whether a trajectory asks too much of the axes.
//
// Thread: GUI thread only. The table is a model over plain numbers, so a file of many rows opens
// without building a widget per cell.

#include <QAbstractTableModel>
#include <QDialog>

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QComboBox;
class QPushButton;
class QTableView;

namespace mvx {

// p(t) = A t^3 + B t^2 + C t + D over one segment.
struct CubicSegment {
    double A = 0.0, B = 0.0, C = 0.0, D = 0.0;
};

// The cubic with p(0) = start position, p'(0) = start speed, p(duration) - p(0) = displacement
// and p'(duration) = end speed. A duration of 0 gives infinite or undefined coefficients.
CubicSegment SolveCubicSegment(double duration, double endSpeed, double displacement, double startSpeed,
                               double startPosition);

// Column order of the table.
inline constexpr int kPvtCheckColumns = 24;
extern const char* const kPvtCheckTitles[kPvtCheckColumns];

struct PvtCheckTable {
    std::vector<std::array<double, kPvtCheckColumns>> Rows;
    std::string Error;  // empty when the whole text was read
    int ErrorLine = 0;  // 1-based line of the error
};

// Reads PVT rows "dt dX vX dY vY dZ vZ" (a group without Z: "dt dX vX dY vY", Z taken as 0),
// one row a line; blank lines are skipped, numbers after the seventh are ignored. A line that is
// not a row stops the reading; the rows before it are kept. The first row starts at rest.
PvtCheckTable CheckPvtText(std::string_view text);

class PvtCheckModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PvtCheckModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void setRows(std::vector<std::array<double, kPvtCheckColumns>> rows);
    void setDecimals(int decimals);
    const std::vector<std::array<double, kPvtCheckColumns>>& rows() const noexcept { return mRows; }
    // The text shown in a cell: fixed notation with "NB DIGIT" decimals.
    QString cellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<std::array<double, kPvtCheckColumns>> mRows;
    int mDecimals = 4;
};

class TFcontrolPVT : public QDialog {
    Q_OBJECT
public:
    // `outputDir` gives the output folder (with a trailing "/"), `nbDigit` the "NB DIGIT" value.
    TFcontrolPVT(std::function<std::string()> outputDir, std::function<int()> nbDigit, QWidget* parent = nullptr);

    QComboBox* comboBox() const noexcept { return ComboBox1; }
    QTableView* grid() const noexcept { return StringGrid1; }
    PvtCheckModel* model() const noexcept { return mModel; }

    // Fills the list with the "*.PVT" files of the output folder and resets the table.
    void FormShow();
    // Reads and tabulates the chosen file; nothing happens when it no longer exists.
    void ComboBox1Change(int index);

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::function<std::string()> mOutputDir;
    std::function<int()> mNbDigit;
    QComboBox* ComboBox1 = nullptr;
    QTableView* StringGrid1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    PvtCheckModel* mModel = nullptr;
};

}  // namespace mvx
