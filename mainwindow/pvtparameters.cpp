#include "pvtparameters.h"

#include "core/common.h"
#include "link/api.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace mvx {
namespace {

constexpr texts::Builtin kRows[] = {
    {"StringError", "Error"},         {"StringAxis", "Axis"},           {"StringPosmin", "Min. Pos."},
    {"StringPosmax", "Max. Pos."},    {"StringVitmax", "Max. Vel."},    {"StringAccmax", "Max. Acc."},
    {"StringXextrema", "X Extrema"},  {"StringXlimit", "X Limit"},      {"StringYextrema", "Y Extrema"},
    {"StringYlimit", "Y Limit"},      {"StringZextrema", "Z Extrema"},  {"StringZlimit", "Z Limit"},
};

void registerTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Translator, kRows);
        return true;
    }();
    (void)done;
}

std::string f4(double v) { return num::fixed(v, 4); }

}  // namespace

TFPVTparameters::TFPVTparameters(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    registerTexts();
    setObjectName("FPVTparameters");
    setWindowTitle("PVT trajectory parameters");
    mEdit3 = new QLineEdit(this);
    mEdit3->setObjectName("Edit3");
    mEdit3->setReadOnly(true);
    mEdit2 = new QLineEdit(this);
    mEdit2->setObjectName("Edit2");
    mEdit2->setReadOnly(true);
    mGrid = new QTableWidget(7, 6, this);
    mGrid->setObjectName("StringGrid1");
    mGrid->horizontalHeader()->hide();
    mGrid->verticalHeader()->hide();
    mGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mGrid->setColumnWidth(0, 90);
    for (int c = 1; c < 6; ++c) mGrid->setColumnWidth(c, 100);
    mOk = new QPushButton("OK", this);
    mOk->setObjectName("BitBtn1");
    mCancel = new QPushButton("Cancel", this);
    mCancel->setObjectName("BitBtn2");
    connect(mOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(mCancel, &QPushButton::clicked, this, [this] {
        BitBtn2Click();
        reject();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(mOk);
    buttons->addWidget(mCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mEdit3);
    layout->addWidget(mEdit2);
    layout->addWidget(mGrid);
    layout->addLayout(buttons);
    resize(640, 300);
    setTitles(true);
}

void TFPVTparameters::setCell(int row, int column, const std::string& text)
{
    QTableWidgetItem* item = mGrid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        mGrid->setItem(row, column, item);
    }
    item->setText(QString::fromStdString(text));
}

std::string TFPVTparameters::cell(int row, int column) const
{
    const QTableWidgetItem* item = mGrid->item(row, column);
    return item ? item->text().toStdString() : std::string();
}

std::string TFPVTparameters::fileText() const { return mEdit3->text().toStdString(); }
std::string TFPVTparameters::errorText() const { return mEdit2->text().toStdString(); }

void TFPVTparameters::setTitles(bool withZ)
{
    const char* const columns[] = {"StringAxis", nullptr, "StringPosmin", "StringPosmax", "StringVitmax", "StringAccmax"};
    for (int c = 0; c < 6; ++c) setCell(0, c, columns[c] ? texts::get(columns[c]) : std::string("Code"));
    const char* const rows[] = {"StringXextrema", "StringXlimit", "StringYextrema", "StringYlimit", "StringZextrema",
                                "StringZlimit"};
    for (int r = 0; r < 6; ++r) setCell(r + 1, 0, (r < 4 || withZ) ? texts::get(rows[r]) : std::string());
}

void TFPVTparameters::BitBtn2Click()
{
    if (mCancelHook) mCancelHook();
}

void TFPVTparameters::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TFPVTparameters::FormShow()
{
    const PvtParametersContext ctx = mProvider ? mProvider() : PvtParametersContext{};
    for (int r = 1; r < 7; ++r)
        for (int c = 1; c < 6; ++c) setCell(r, c, "");
    int verifyCode = api::kErrorNoSocket;
    std::string verifyText;
    std::array<PvtAxisReading, 3> axes{};
    const std::string file = mFileName;
    const int axisCount = ctx.XYGroupOnly ? 2 : 3;
    link::RunOffGuiThread([&] {
        const link::PooledSocket connection(mController, 5.0);
        const int s = connection.index();
        try {
            // Without a connection every call fails with the pool's code and shows zeros.
            if (s < 0) {
                for (PvtAxisReading& a : axes) a.ResultCode = a.LimitCode = api::kErrorNoSocket;
                return;
            }
            verifyCode = api::MultipleAxesPVTVerification(s, ctx.GroupName, file);
            api::ErrorStringGet(s, verifyCode, verifyText);
            for (int i = 0; i < axisCount; ++i) {
                PvtAxisReading& a = axes[static_cast<std::size_t>(i)];
                const std::string& p = ctx.Positioners[static_cast<std::size_t>(i)];
                std::string resultFile;
                a.ResultCode = api::MultipleAxesPVTVerificationResultGet(s, p, resultFile, a.MinPos, a.MaxPos, a.MaxVel,
                                                                         a.MaxAcc);
                api::PositionerUserTravelLimitsGet(s, p, a.TravelMin, a.TravelMax);
                a.LimitCode = api::PositionerMaximumVelocityAndAccelerationGet(s, p, a.LimitVel, a.LimitAcc);
            }
        } catch (const std::exception&) {
            // A field that is not a number: the rest stays at zero.
        }
    });
    fill(verifyCode, verifyText, axes, ctx);
}

void TFPVTparameters::fill(int verifyCode, const std::string& verifyText, const std::array<PvtAxisReading, 3>& axes,
                           const PvtParametersContext& ctx)
{
    (void)verifyCode;
    setTitles(!ctx.XYGroupOnly);
    mEdit3->setText(QString::fromStdString(mFileName));
    mEdit2->setText(QString::fromStdString(verifyText));
    const int axisCount = ctx.XYGroupOnly ? 2 : 3;
    for (int i = 0; i < axisCount; ++i) {
        const PvtAxisReading& a = axes[static_cast<std::size_t>(i)];
        const int er = 1 + 2 * i, lr = er + 1;
        const double start = ctx.CurrentPosition[static_cast<std::size_t>(i)];
        setCell(er, 1, num::integer(a.ResultCode));
        setCell(er, 2, f4(a.MinPos + start));
        setCell(er, 3, f4(a.MaxPos + start));
        setCell(er, 4, f4(a.MaxVel));
        setCell(er, 5, f4(a.MaxAcc));
        setCell(lr, 1, num::integer(a.LimitCode));
        setCell(lr, 2, f4(a.TravelMin));
        setCell(lr, 3, f4(a.TravelMax));
        setCell(lr, 4, f4(a.LimitVel));
        setCell(lr, 5, f4(a.LimitAcc));
        for (int c = 1; c < 6; ++c) {
            const std::optional<double> e = num::parseStrict(cell(er, c));
            const std::optional<double> l = num::parseStrict(cell(lr, c));
            if (!e || !l) continue;
            const double sign = c == 2 ? -1.0 : 1.0;
            if (sign * *e > sign * *l) setCell(er, c, texts::get("StringError") + " " + cell(er, c));
        }
    }
}

}  // namespace mvx
