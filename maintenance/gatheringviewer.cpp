#include "gatheringviewer.h"

#include "app/appearance.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "app/language.h"
#include "link/transfer.h"
#include "fourier.h"
#include "translator/numtext.h"
#include "translator/texts.h"
#include "pidtestsettings.h"

#include <QCheckBox>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace mvx::maint {

namespace {

constexpr std::array<texts::Builtin, 8> kTexts{{
    {"stringgatheringreferror", "Gathering.ref file not usable"},
    {"stringgatheringperiod", "Période d'échantillonnage illisible : les points sont tracés par numéro d'échantillon"},
    {"stringgatheringfetch", "\"Gathering.dat\" n'a pas pu être lu sur le contrôleur : copie locale affichée"},
    {"stringgatheringopen", "Impossible de lire le fichier %s"},
    {"stringgatheringsave", "Impossible d'écrire le fichier %s"},
    {"stringgatheringnoref", "Pas de fichier \"Gathering.ref\" dans le dossier du programme"},
    {"stringgatheringxy", "Il faut au moins deux colonnes pour le tracé XY"},
    {"stringfftdelay", "Délai incorrect (entier positif en millisecondes) : %s"},
}};

QString T(std::string_view key) { return QString::fromStdString(texts::get(key)); }
QString T(std::string_view key, const QString& arg)
{
    QString t = T(key);
    t.replace(QStringLiteral("%s"), arg);
    return t;
}
void Msg(const QString& text) { ShowMsg(text.toStdString()); }

IniFile* settings() { return SettingsIni(); }

QString fixed3(double v) { return QString::fromStdString(num::fixed(v, 3)); }

bool readWhole(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return !in.bad();
}

const QColor kColours[] = {Qt::blue,     Qt::darkGreen, Qt::red,       Qt::darkYellow, Qt::magenta,  Qt::darkCyan,
                           Qt::black,    Qt::darkRed,   Qt::darkBlue,  Qt::darkMagenta, Qt::gray,    Qt::green,
                           Qt::cyan,     Qt::darkGray,  QColor(255, 128, 0), QColor(128, 0, 255), QColor(0, 128, 128),
                           QColor(128, 128, 0)};

void setPen(QLineSeries* s, Qt::PenStyle style)
{
    QPen pen = s->pen();
    pen.setStyle(style);
    pen.setWidth(1);
    s->setPen(pen);
}

// Range of the points of the visible series, with a margin; false when there is none.
bool visibleRange(const QChart* chart, double& xmin, double& xmax, double& ymin, double& ymax)
{
    bool any = false;
    xmin = ymin = std::numeric_limits<double>::max();
    xmax = ymax = std::numeric_limits<double>::lowest();
    for (QAbstractSeries* a : chart->series()) {
        auto* s = static_cast<QLineSeries*>(a);
        if (!s->isVisible()) continue;
        for (const QPointF& p : s->points()) {
            xmin = std::min(xmin, p.x());
            xmax = std::max(xmax, p.x());
            ymin = std::min(ymin, p.y());
            ymax = std::max(ymax, p.y());
            any = true;
        }
    }
    if (!any) return false;
    if (xmax <= xmin) xmax = xmin + 1.0;
    if (ymax <= ymin) {
        ymin -= 0.5;
        ymax += 0.5;
    }
    return true;
}

}  // namespace

void registerGatheringTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Controller, kTexts);
        return true;
    }();
    (void)done;
}

// ---- TFsetupviewer ----

TFsetupviewer::TFsetupviewer(QWidget* parent) : QDialog(parent)
{
    setObjectName("Fsetupviewer");
    setWindowTitle(QStringLiteral("Gathering file viever setup"));
    setModal(true);
    auto* top = new QHBoxLayout(this);
    mList = new QListWidget(this);
    mList->setObjectName("ListBox1");
    top->addWidget(mList, 1);
    auto* right = new QVBoxLayout;
    auto* form = new QFormLayout;
    mMulti = new QLineEdit(this);
    mOffset = new QLineEdit(this);
    mMin = new QLineEdit(this);
    mMax = new QLineEdit(this);
    mMinLabel = new QLabel(QStringLiteral("min"), this);
    mMaxLabel = new QLabel(QStringLiteral("max"), this);
    form->addRow(QStringLiteral("Multiplier"), mMulti);
    form->addRow(QStringLiteral("Offset"), mOffset);
    form->addRow(mMinLabel, mMin);
    form->addRow(mMaxLabel, mMax);
    right->addLayout(form);
    mVisible = new QCheckBox(QStringLiteral("Visible"), this);
    mFft = new QCheckBox(QStringLiteral("FFT"), this);
    mAuto = new QCheckBox(QStringLiteral("Echelles auto"), this);
    right->addWidget(mVisible);
    right->addWidget(mFft);
    right->addWidget(mAuto);
    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Save"), this);
    auto* abort = new QPushButton(QStringLiteral("Abort"), this);
    buttons->addWidget(save);
    buttons->addWidget(abort);
    right->addLayout(buttons);
    top->addLayout(right);

    connect(mList, &QListWidget::currentRowChanged, this, [this](int row) { selectColumn(row); });
    for (QLineEdit* e : {mMulti, mOffset, mMin, mMax}) connect(e, &QLineEdit::textEdited, this, [this] { editChanged(); });
    for (QCheckBox* b : {mVisible, mFft, mAuto}) connect(b, &QCheckBox::toggled, this, [this] { editChanged(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(abort, &QPushButton::clicked, this, [this] { AbortClick(); });
    RememberWindowPosition(this, true);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void TFsetupviewer::setColumns(std::vector<ColumnRecord> records, int current)
{
    mRecords = std::move(records);
    mFilling = true;
    mList->clear();
    for (const ColumnRecord& r : mRecords) mList->addItem(QString::fromStdString(r.name));
    mFilling = false;
    mCurrent = -1;
    selectColumn(mRecords.empty() ? -1 : std::clamp(current, 0, static_cast<int>(mRecords.size()) - 1));
}

void TFsetupviewer::selectColumn(int index)
{
    if (index < 0 || index >= static_cast<int>(mRecords.size())) {
        mCurrent = -1;
        return;
    }
    mCurrent = index;
    if (mList->currentRow() != index) mList->setCurrentRow(index);
    showCurrent();
}

void TFsetupviewer::showCurrent()
{
    if (mCurrent < 0) return;
    const ColumnRecord& r = mRecords[mCurrent];
    mFilling = true;
    mMulti->setText(fixed3(r.multiplier));
    mOffset->setText(fixed3(r.offset));
    mMin->setText(fixed3(r.minimum));
    mMax->setText(fixed3(r.maximum));
    mVisible->setChecked(r.visible);
    mFft->setChecked(r.spectrum);
    mAuto->setChecked(r.autoScale);
    mFilling = false;
    for (QWidget* w : std::initializer_list<QWidget*>{mMin, mMax, mMinLabel, mMaxLabel}) w->setVisible(!r.autoScale);
}

void TFsetupviewer::editChanged()
{
    if (mFilling || mCurrent < 0) return;
    ColumnRecord& r = mRecords[mCurrent];
    // The number reader's partial result, as the fields are typed.
    auto value = [](QLineEdit* e) { return num::parseLenient(e->text().toStdString()); };
    r.multiplier = value(mMulti);
    r.offset = value(mOffset);
    r.minimum = value(mMin);
    r.maximum = value(mMax);
    r.visible = mVisible->isChecked();
    r.spectrum = mFft->isChecked();
    r.autoScale = mAuto->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{mMin, mMax, mMinLabel, mMaxLabel}) w->setVisible(!r.autoScale);
}

bool TFsetupviewer::SaveClick()
{
    IniFile* ini = settings();
    for (const ColumnRecord& r : mRecords) {
        if (!ini || !WriteColumnRecord(*ini, r)) {
            Msg(T("stringgatheringsave", QString::fromStdString(ini ? ini->path() : std::string())));
            return false;
        }
    }
    accept();
    return true;
}

// ---- TFXY ----

TFXY::TFXY(QWidget* parent) : QDialog(parent)
{
    setObjectName("FXY");
    setWindowTitle(QStringLiteral("XY"));
    setModal(true);
    mChart = new QChart;
    mChart->legend()->hide();
    mSeries = new QLineSeries;
    mChart->addSeries(mSeries);
    mAxisX = new QValueAxis;
    mAxisY = new QValueAxis;
    mChart->addAxis(mAxisX, Qt::AlignBottom);
    mChart->addAxis(mAxisY, Qt::AlignLeft);
    mSeries->attachAxis(mAxisX);
    mSeries->attachAxis(mAxisY);
    auto* view = new QChartView(mChart, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view);
    resize(500, 500);
    RememberWindowPosition(this, true);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

// The horizontal axis carries column 1 and its title, the vertical one column 2 and its title.
void TFXY::setData(const GatheringData& data, const ColumnRecord& first, const ColumnRecord& second)
{
    mSeries->clear();
    mAxisX->setTitleText(QString::fromStdString(first.title()));
    mAxisY->setTitleText(QString::fromStdString(second.title()));
    QList<QPointF> points;
    double xmin = 0, xmax = 1, ymin = 0, ymax = 1;
    bool any = false;
    for (const XYPoint& p : XYPairs(data, first, second)) {
        points.append(QPointF(p.x, p.y));
        if (!any) {
            xmin = xmax = p.x;
            ymin = ymax = p.y;
            any = true;
        }
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    mSeries->replace(points);
    if (xmax <= xmin) xmax = xmin + 1;
    if (ymax <= ymin) ymax = ymin + 1;
    mAxisX->setRange(xmin, xmax);
    mAxisY->setRange(ymin, ymax);
}

QString TFXY::horizontalTitle() const { return mAxisX->titleText(); }
QString TFXY::verticalTitle() const { return mAxisY->titleText(); }

// ---- TFshowgathering ----

TFshowgathering::TFshowgathering(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    registerGatheringTexts();
    setObjectName("Fshowgathering");
    setWindowTitle(QStringLiteral("Gathering"));
    auto* top = new QVBoxLayout(this);
    auto* panel = new QHBoxLayout;
    const char* captions[8] = {nullptr,
                               "Read \"Gathering.dat\"",
                               "Setup parameters",
                               "Save current as reference",
                               "Show reference values",
                               "Save as file",
                               "Read file",
                               "XY"};
    for (int i = 1; i <= 7; ++i) {
        mButtons[i] = new QPushButton(QString::fromUtf8(captions[i]), this);
        mButtons[i]->setObjectName(QStringLiteral("Button%1").arg(i));
        panel->addWidget(mButtons[i]);
    }
    mCheckBox1 = new QCheckBox(QStringLiteral("FFT"), this);
    mCheckBox1->setObjectName("CheckBox1");
    panel->addWidget(mCheckBox1);
    top->addLayout(panel);
    mStatus = new QLabel(this);
    top->addWidget(mStatus);

    auto* body = new QHBoxLayout;
    auto* charts = new QVBoxLayout;
    auto makeChart = [&](QChart*& chart, QChartView*& view, QValueAxis*& ax, QValueAxis*& ay,
                         std::array<QLineSeries*, kGatheringMaxColumns>& series, const char* prefix) {
        chart = new QChart;
        ax = new QValueAxis;
        ay = new QValueAxis;
        chart->addAxis(ax, Qt::AlignBottom);
        chart->addAxis(ay, Qt::AlignLeft);
        for (int j = 0; j < kGatheringMaxColumns; ++j) {
            series[j] = new QLineSeries;
            series[j]->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(j + 1));
            series[j]->setColor(kColours[j]);
            chart->addSeries(series[j]);
            series[j]->attachAxis(ax);
            series[j]->attachAxis(ay);
            series[j]->setVisible(false);
        }
        view = new QChartView(chart, this);
        charts->addWidget(view, 1);
    };
    makeChart(mChart1, mSignalView, mSignalAxisX, mSignalAxisY, mSeries, "SERIE");
    makeChart(mChart2, mSpectrumView, mSpectrumAxisX, mSpectrumAxisY, mSpectra, "SERIEFFT");
    mSignalView->setObjectName("Chart1");
    mSpectrumView->setObjectName("Chart2");
    mSpectrumView->setVisible(false);
    body->addLayout(charts, 3);
    mRichEdit1 = new QPlainTextEdit(this);
    mRichEdit1->setObjectName("RichEdit1");
    mRichEdit1->setFont(CodeFont());
    mRichEdit1->setReadOnly(true);
    mRichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    body->addWidget(mRichEdit1, 1);
    top->addLayout(body, 1);
    for (int i = 2; i <= 5; ++i) mButtons[i]->setEnabled(false);

    mTimer1 = new QTimer(this);
    mTimer1->setSingleShot(true);
    mTimer1->setInterval(200);
    connect(mTimer1, &QTimer::timeout, this, [this] {
        Button1Click();
        mLoadedOnce = true;
    });
    mSetup = new TFsetupviewer(this);
    mXY = new TFXY(this);

    connect(mButtons[1], &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(mButtons[2], &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(mButtons[3], &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(mButtons[4], &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(mButtons[5], &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(mButtons[6], &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(mButtons[7], &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(mCheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });

    openFileDialog = [this] { return QFileDialog::getOpenFileName(this); };
    saveFileDialog = [this] {
        QFileDialog dialog(this, QStringLiteral("Save a gathering file "));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("TXT"));
        dialog.selectFile(QStringLiteral("Gathering.txt"));
        dialog.setNameFilters({QStringLiteral("Text file (*.txt)"), QStringLiteral("Measure file (*.mes)"),
                               QStringLiteral("All (*.*)")});
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                       : QString();
    };
    resize(900, 600);
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

QString TFshowgathering::statusText() const { return mStatus->text(); }
void TFshowgathering::setStatus(const QString& text) { mStatus->setText(text); }

void TFshowgathering::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    mLoadedOnce = false;
    mTimer1->start();
}

void TFshowgathering::setBusy(bool busy)
{
    mBusy = busy;
    mButtons[1]->setEnabled(!busy);
    mButtons[6]->setEnabled(!busy);
    mButtons[7]->setEnabled(!busy);
    for (int i = 2; i <= 5; ++i) mButtons[i]->setEnabled(!busy && !mSourcePath.empty());
    mCheckBox1->setEnabled(!busy);
}

void TFshowgathering::Button1Click()
{
    if (mBusy) return;
    setBusy(true);
    const std::string local = common().ProgramDir + "Gathering.dat";
    bool fetched = false;
    if (fetchOverride) {
        fetched = fetchOverride();
    } else if (common().ControllerUsable.load() != 0) {
        // In simulation nothing is fetched: the local copy is shown.
        fetched = mController.changeDir(common().RemoteGatheringDir, common().ProgramDir) &&
                  mController.getFile("Gathering.dat", "Gathering.dat", true);
    }
    QCoreApplication::processEvents();
    setBusy(false);
    // A failed fetch shows the copy of an earlier fetch, and says so.
    const bool ok = loadFile(local, true);
    mSourceFetched = true;
    if (!fetched && ok) setStatus(T("stringgatheringfetch"));
}

void TFshowgathering::Button6Click()
{
    if (mBusy || !openFileDialog) return;
    const QString path = openFileDialog();
    if (path.isEmpty()) return;
    if (loadFile(path.toStdString(), false)) mSourceFetched = false;
}

bool TFshowgathering::loadFile(const std::string& path, bool full)
{
    if (mBusy) return false;
    std::string text;
    if (!readWhole(path, text)) {
        Msg(T("stringgatheringopen", QString::fromStdString(path)));
        return false;
    }
    setBusy(true);
    mText = std::move(text);
    mSourcePath = path;
    mRichEdit1->setPlainText(QString::fromUtf8(mText.data(), static_cast<qsizetype>(mText.size())));
    setStatus({});
    mData = ParseGathering(mText);
    chart(full, !full);
    setBusy(false);
    return true;
}

void TFshowgathering::chart(bool full, bool fileRead)
{
    IniFile* ini = settings();
    mColumnCount = static_cast<int>(mData.names.size());
    for (int j = 0; j < mColumnCount; ++j) {
        ColumnRecord base = mRecords[j];
        mRecords[j] = ini ? ReadColumnRecord(*ini, mData.names[j], full, base) : ColumnRecord{mData.names[j]};
        if (full) applyAxis(mRecords[j]);  // the last column's values remain
    }
    std::vector<ColumnRecord> shown(mRecords.begin(), mRecords.begin() + mColumnCount);
    mSetup->setColumns(shown, 0);

    const bool fft = mCheckBox1->isChecked();
    for (int j = 0; j < kGatheringMaxColumns; ++j) {
        mSeries[j]->setObjectName(QStringLiteral("SERIE%1").arg(j + 1));
        mSpectra[j]->setObjectName(QStringLiteral("SERIEFFT%1").arg(j + 1));
    }
    for (int j = 0; j < kGatheringMaxColumns; ++j) {
        QLineSeries* s = mSeries[j];
        QLineSeries* f = mSpectra[j];
        s->clear();
        f->clear();
        if (j >= mColumnCount) {
            s->setVisible(false);
            f->setVisible(false);
            continue;
        }
        const ColumnRecord& r = mRecords[j];
        s->setObjectName(QString::fromStdString(SeriesNameOf(r.name)));
        s->setName(QString::fromStdString(r.title()));
        s->setVisible(r.visible);
        setPen(s, Qt::SolidLine);
        f->setObjectName(QStringLiteral("FFT") + s->objectName());
        f->setName(QStringLiteral("FFT ") + s->name());
        f->setVisible(fft && r.spectrum && (!fileRead || r.visible));
        setPen(f, Qt::SolidLine);
    }
    // A period that cannot be read would put every sample at 0: they go by sample number then.
    double period = mData.period;
    if (!mData.periodValid) {
        period = 1.0;
        if (!mData.names.empty()) setStatus(T("stringgatheringperiod"));
    }
    mData.period = period;
    for (int j = 0; j < mColumnCount; ++j) {
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(mData.samples.size()));
        for (std::size_t k = 0; k < mData.samples.size(); ++k) {
            const double v = mData.samples[k][j];
            if (!std::isnan(v)) points.append(QPointF(static_cast<double>(k) * period, mRecords[j].scaled(v)));
        }
        mSeries[j]->replace(points);
    }
    fitAxes();
    if (fft) computeSpectra(fileRead);
    mSelected = 1;
}

void TFshowgathering::computeSpectra(bool fileRead)
{
    for (int j = 0; j < mColumnCount; ++j) {
        const ColumnRecord& r = mRecords[j];
        if (!r.spectrum || (fileRead && !r.visible)) continue;
        PlotSpectrum(*mSeries[j], *mSpectra[j], [this] { mChart2->update(); });
        QCoreApplication::processEvents();
    }
    double xmin, xmax, ymin, ymax;
    if (visibleRange(mChart2, xmin, xmax, ymin, ymax)) {
        mSpectrumAxisX->setRange(xmin, xmax);
        mSpectrumAxisY->setRange(ymin, ymax);
    }
}

void TFshowgathering::applyAxis(const ColumnRecord& r)
{
    mSignalAxisY->setProperty("mvxAuto", r.autoScale);
    // A minimum not below the maximum cannot be drawn: the scale is automatic then.
    if (!r.autoScale && r.minimum < r.maximum) {
        mSignalAxisY->setRange(r.minimum, r.maximum);
    } else {
        mSignalAxisY->setProperty("mvxAuto", true);
    }
}

void TFshowgathering::fitAxes()
{
    double xmin, xmax, ymin, ymax;
    if (!visibleRange(mChart1, xmin, xmax, ymin, ymax)) return;
    mSignalAxisX->setRange(xmin, xmax);
    if (mSignalAxisY->property("mvxAuto").toBool() || !mSignalAxisY->property("mvxAuto").isValid())
        mSignalAxisY->setRange(ymin, ymax);
}

void TFshowgathering::Button2Click()
{
    if (mBusy || mColumnCount == 0) return;
    mSetup->setColumns(std::vector<ColumnRecord>(mRecords.begin(), mRecords.begin() + mColumnCount), mSelected - 1);
    mSetup->exec();
    // The file shown is read again with the stored settings: a chosen file stays the one shown.
    if (mSourceFetched)
        Button1Click();
    else
        loadFile(mSourcePath, true);
    if (mSelected >= 1 && mSelected <= mColumnCount) {
        applyAxis(mRecords[mSelected - 1]);
        fitAxes();
    }
}

bool TFshowgathering::Button3Click()
{
    if (mSourcePath.empty()) return false;
    const std::string path = common().ProgramDir + "Gathering.ref";
    std::string error;
    if (!WriteFileAtomic(path, mText, &error)) {
        Msg(T("stringgatheringsave", QString::fromStdString(path)));
        return false;
    }
    return true;
}

void TFshowgathering::Button4Click()
{
    if (mBusy) return;
    const std::string path = common().ProgramDir + "Gathering.ref";
    std::string text;
    if (!std::filesystem::exists(path) || !readWhole(path, text)) {
        setStatus(T("stringgatheringnoref"));
        return;
    }
    // Names split as in the data file, so a reference saved from a blank-separated file keeps its
    // columns; empty lines are no samples; sample k is at k periods like the current data.
    const GatheringData ref = ParseGathering(text);
    if (!ref.periodValid) {
        Msg(T("stringgatheringreferror"));
        return;
    }
    IniFile* ini = settings();
    const bool fft = mCheckBox1->isChecked();
    const int count = std::min<int>(static_cast<int>(ref.names.size()), kGatheringMaxColumns - mColumnCount);
    for (int i = 0; i < count; ++i) {
        const int j = mColumnCount + i;
        const std::string& name = ref.names[i];
        const ColumnRecord r = ini ? ReadColumnRecord(*ini, name, false, ColumnRecord{name}) : ColumnRecord{name};
        QLineSeries* s = mSeries[j];
        s->clear();
        s->setObjectName(QString::fromStdString(SeriesNameOf(name) + "_ref"));
        s->setName(QString::fromStdString(r.title() + "_ref"));
        s->setVisible(r.visible);
        setPen(s, Qt::DotLine);
        QLineSeries* f = mSpectra[j];
        f->clear();
        if (fft) {
            f->setObjectName(s->objectName());
            f->setVisible(r.visible && r.spectrum);
            setPen(f, Qt::DotLine);
        }
        QList<QPointF> points;
        for (std::size_t k = 0; k < ref.samples.size(); ++k) {
            const double v = ref.samples[k][i];
            if (!std::isnan(v)) points.append(QPointF(static_cast<double>(k) * ref.period, r.scaled(v)));
        }
        s->replace(points);
    }
    fitAxes();
}

bool TFshowgathering::Button5Click()
{
    if (mSourcePath.empty() || !saveFileDialog) return false;
    const QString path = saveFileDialog();
    if (path.isEmpty()) return false;
    if (!WriteFileAtomic(path.toStdString(), mText)) {
        Msg(T("stringgatheringsave", path));
        return false;
    }
    return true;
}

void TFshowgathering::Button7Click()
{
    if (mColumnCount < 2) {
        Msg(T("stringgatheringxy"));
        return;
    }
    mXY->setData(mData, mRecords[0], mRecords[1]);
    mXY->exec();
}

void TFshowgathering::CheckBox1Click() { mSpectrumView->setVisible(mCheckBox1->isChecked()); }

// ---- Tfparamfft ----

Tfparamfft::Tfparamfft(QWidget* parent, std::function<void(int, bool)> applied)
    : QDialog(parent), mApplied(std::move(applied))
{
    registerGatheringTexts();
    setObjectName("fparamfft");
    setWindowTitle(QStringLiteral("FTT Parameters"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Delay before acquisition"), this));
    mEdit1 = new QLineEdit(this);
    mEdit1->setObjectName("Edit1");
    row->addWidget(mEdit1);
    row->addWidget(new QLabel(QStringLiteral("msec"), this));
    top->addLayout(row);
    mCheckBox1 = new QCheckBox(QStringLiteral("Logarithmic FFT"), this);
    mCheckBox1->setObjectName("CheckBox1");
    top->addWidget(mCheckBox1);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName("BitBtn1");
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("BitBtn2");
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    top->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void Tfparamfft::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormActivate();
}

void Tfparamfft::FormActivate()
{
    PidTestSettings s;
    if (IniFile* ini = settings()) s.Read(*ini);
    const long long delay = s.DelayMs;
    const bool log = s.Logarithmic;
    mEdit1->setText(QString::number(delay));
    mCheckBox1->setChecked(log);
    if (mApplied) mApplied(static_cast<int>(delay), log);
}

bool Tfparamfft::BitBtn2Click()
{
    const std::optional<long long> delay = num::parseIntStrict(mEdit1->text().toStdString());
    if (!delay || *delay < 0 || *delay > 600000) {
        Msg(T("stringfftdelay", mEdit1->text()));
        return false;
    }
    if (IniFile* ini = settings()) WritePidTestDisplay(*ini, *delay, mCheckBox1->isChecked());
    if (mApplied) mApplied(static_cast<int>(*delay), mCheckBox1->isChecked());
    accept();
    return true;
}

}  // namespace mvx::maint
