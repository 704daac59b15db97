#include "pvtchecker.h"

#include "app/dialogs.h"
#include "translator/numtext.h"
#include "core/guard.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace mvx {

const char* const kPvtCheckTitles[kPvtCheckColumns] = {
    "dTime", "dX", "VX", "dY", "VY", "dZ", "VZ", "T", "X", "Y", "Z", "A X",
    "B X", "C X", "A Y", "B Y", "C Y", "A Z", "B Z", "C Z", "Acc max X", "Acc max Y", "Acc max Z", "V curv",
};

CubicSegment SolveCubicSegment(double duration, double endSpeed, double displacement, double startSpeed,
                               double startPosition)
{
    // Displacement is relative to the start, so the start position only gives D.
    CubicSegment c;
    const double t = duration;
    c.A = (t * (startSpeed + endSpeed) - 2.0 * displacement) / (t * t * t);
    c.B = (endSpeed - startSpeed - 3.0 * c.A * t * t) / (2.0 * t);
    c.C = startSpeed;
    c.D = startPosition;
    return c;
}

PvtCheckTable CheckPvtText(std::string_view text)
{
    PvtCheckTable out;
    double T = 0.0, X = 0.0, Y = 0.0, Z = 0.0;
    std::array<double, 3> previousSpeed{0.0, 0.0, 0.0};
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        std::vector<double> numbers;
        bool bad = false;
        std::size_t i = 0;
        while (i < line.size() && numbers.size() < 7) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
            if (i >= line.size()) break;
            std::size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
            const std::optional<double> v = num::parseStrict(line.substr(i, j - i));
            if (!v) {
                bad = true;
                break;
            }
            numbers.push_back(*v);
            i = j;
        }
        if (!bad && numbers.empty()) continue;  // blank line
        if (bad || (numbers.size() != 5 && numbers.size() != 7)) {
            out.Error = bad ? "Invalid numeric input" : "Invalid PVT row";
            out.ErrorLine = lineNo;
            break;
        }
        if (numbers.size() == 5) numbers.insert(numbers.end(), {0.0, 0.0});
        const double dt = numbers[0];
        const std::array<double, 3> d{numbers[1], numbers[3], numbers[5]};
        const std::array<double, 3> v{numbers[2], numbers[4], numbers[6]};
        T += dt;
        X += d[0];
        Y += d[1];
        Z += d[2];
        std::array<double, kPvtCheckColumns> row{};
        for (int k = 0; k < 7; ++k) row[k] = numbers[k];
        row[7] = T;
        row[8] = X;
        row[9] = Y;
        row[10] = Z;
        for (int axis = 0; axis < 3; ++axis) {
            const CubicSegment c = SolveCubicSegment(dt, v[axis], d[axis], previousSpeed[axis], 0.0);
            row[11 + 3 * axis] = c.A;
            row[12 + 3 * axis] = c.B;
            row[13 + 3 * axis] = c.C;
            // Acceleration at the start (2B) and at the end (6A dt + 2B) of the segment.
            row[20 + axis] = std::max(std::abs(2.0 * c.B), std::abs(6.0 * c.A * dt + 2.0 * c.B));
        }
        row[23] = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        previousSpeed = v;
        out.Rows.push_back(row);
    }
    return out;
}

void PvtCheckModel::setRows(std::vector<std::array<double, kPvtCheckColumns>> rows)
{
    beginResetModel();
    mRows = std::move(rows);
    endResetModel();
}

void PvtCheckModel::setDecimals(int decimals)
{
    beginResetModel();
    mDecimals = std::clamp(decimals, 0, 15);
    endResetModel();
}

QString PvtCheckModel::cellText(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kPvtCheckColumns) return {};
    return QString::fromStdString(num::fixed(mRows[static_cast<std::size_t>(row)][column], mDecimals));
}

int PvtCheckModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(mRows.size(), 0x7FFFFFFF));
}

int PvtCheckModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kPvtCheckColumns; }

QVariant PvtCheckModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::DisplayRole) return cellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant PvtCheckModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal && section >= 0 && section < kPvtCheckColumns)
        return QString::fromLatin1(kPvtCheckTitles[section]);
    if (orientation == Qt::Vertical) return section + 1;
    return {};
}

TFcontrolPVT::TFcontrolPVT(std::function<std::string()> outputDir, std::function<int()> nbDigit, QWidget* parent)
    : QDialog(parent), mOutputDir(std::move(outputDir)), mNbDigit(std::move(nbDigit))
{
    setObjectName("FcontrolPVT");
    setWindowTitle("PVT Files Controls");
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    layout->addWidget(ComboBox1);
    mModel = new PvtCheckModel(this);
    StringGrid1 = new QTableView(this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setModel(mModel);
    StringGrid1->verticalHeader()->setVisible(false);
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    layout->addWidget(StringGrid1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BitBtn1 = new QPushButton("&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    buttons->addWidget(BitBtn1);
    layout->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ComboBox1, &QComboBox::activated, this,
            [this](int index) { Guarded("PVT checker", [&] { ComboBox1Change(index); }); });
    resize(900, 500);
    RememberWindowPosition(this, true);
}

void TFcontrolPVT::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    Guarded("PVT checker", [this] { FormShow(); });
}

void TFcontrolPVT::FormShow()
{
    ComboBox1->clear();
    const QDir dir(QString::fromStdString(mOutputDir ? mOutputDir() : std::string()));
    // "*.PVT" without regard to case, as on the controller's file system.
    QStringList names;
    for (const QString& f : dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase))
        if (f.endsWith(".pvt", Qt::CaseInsensitive)) names << f;
    ComboBox1->addItems(names);
    ComboBox1->setCurrentIndex(-1);
    mModel->setDecimals(mNbDigit ? mNbDigit() : 4);
    mModel->setRows({});
}

void TFcontrolPVT::ComboBox1Change(int index)
{
    if (index < 0 || index >= ComboBox1->count()) return;
    const QString path = QDir(QString::fromStdString(mOutputDir ? mOutputDir() : std::string())).filePath(ComboBox1->itemText(index));
    QFile f(path);
    if (!f.exists()) return;
    mModel->setDecimals(mNbDigit ? mNbDigit() : 4);
    if (!f.open(QIODevice::ReadOnly)) {
        mModel->setRows({});
        ShowMsg(path.toStdString() + " : file cannot be opened");
        return;
    }
    const QByteArray bytes = f.readAll();
    PvtCheckTable table = CheckPvtText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    mModel->setRows(std::move(table.Rows));
    if (!table.Error.empty())
        ShowMsg(table.Error + " : " + ComboBox1->itemText(index).toStdString() + " line " + num::integer(table.ErrorLine));
}

}  // namespace mvx
