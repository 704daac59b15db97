#include "page_pidtest.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "gatheringviewer.h"
#include "link/api.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "link/workers.h"
#include "pagecalls.h"
#include "pidtestsettings.h"
#include "fourier.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPushButton>
#include <QRadioButton>
#include <QValueAxis>
#include <QVBoxLayout>

#include <cmath>
#include <fstream>
#include <sstream>

namespace mvx::maint {

namespace {

constexpr std::array<texts::Builtin, 16> kTexts{{
    {"stringpbduration", "valeur de durée incorrecte"},
    {"stringpbperiode", "période incorrecte"},
    {"Stringtoomuchmeasure", "Trop de mesures(>4000 )"},
    {"stringretourdepart", "Retour à la position de départ"},
    {"stringdeplacement", "Déplacement"},
    {"stringpbstartpos", "Position de départ incorrecte"},
    {"stringpblength", "Longueur incorrecte"},
    {"stringpbaxis", "Aucun positionneur choisi"},
    {"stringpidreturnfailed", "Le retour à la position de départ a échoué : le test est arrêté"},
    {"stringpidfetchfailed", "\"Gathering.dat\" n'a pas pu être lu sur le contrôleur : rien n'est tracé"},
    {"stringpidlogunreadable", "Fichier de mesures illisible : %s"},
    {"stringpidlogshort", "Fichier de mesures incomplet : %s échantillons lus"},
    {"stringpidlogwrite", "Impossible d'écrire le fichier %s"},
    {"stringerrorparamposv", "Impossible de sauvegarder vos paramétres: %s est incorrect pour la position de départ"},
    {"stringerrorparamper", "Impossible de sauvegarder vos paramétres: %s est incorrect pour la période d'échantillonage"},
    {"stringerrorparamspeed", "Impossible de sauvegarder vos paramétres: %s est incorrect pour la vitesse"},
}};
constexpr std::array<texts::Builtin, 2> kMoreTexts{{
    {"stringerrorparamduration", "Impossible de sauvegarder vos paramétres: %s est incorrect pour la durée"},
    {"stringerrorparamlength", "Impossible de sauvegarder vos paramétres: %s est incorrect pour la longueur"},
}};

std::optional<double> strictNumber(const QString& text)
{
    const std::optional<double> v = num::parseStrict(text.toStdString());
    if (v && std::isfinite(*v)) return v;
    return std::nullopt;
}

QString general(double v) { return QString::fromStdString(num::general(v)); }

bool readWhole(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return !in.bad();
}

QPushButton* toggle(const char* caption, const char* name, bool down, QWidget* parent)
{
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setCheckable(true);
    b->setChecked(down);
    return b;
}

// Below this a chart has no room left for its plot between its title and axes.
constexpr int kMinChartHeight = 200;

void fit(QChart* chart, QAbstractAxis* ax, QAbstractAxis* ay, bool logY)
{
    double xmin = 0, xmax = 1, ymin = 0, ymax = 1;
    bool any = false;
    for (QAbstractSeries* a : chart->series()) {
        auto* s = static_cast<QLineSeries*>(a);
        if (!s->isVisible()) continue;
        for (const QPointF& p : s->points()) {
            if (logY && p.y() <= 0) continue;
            if (!any) {
                xmin = xmax = p.x();
                ymin = ymax = p.y();
                any = true;
            }
            xmin = std::min(xmin, p.x());
            xmax = std::max(xmax, p.x());
            ymin = std::min(ymin, p.y());
            ymax = std::max(ymax, p.y());
        }
    }
    if (!any) return;
    if (xmax <= xmin) xmax = xmin + 1;
    if (ymax <= ymin) ymax = logY ? ymin * 10 : ymin + 1;
    ax->setRange(xmin, xmax);
    ay->setRange(ymin, ymax);
}

}  // namespace

void registerPidTestTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Controller, kTexts);
        texts::add(texts::Family::Controller, kMoreTexts);
        return true;
    }();
    (void)done;
}

PidTestPage::PidTestPage(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    registerPidTestTexts();
    registerPageTexts();
    auto* top = new QHBoxLayout(this);
    // The fields keep a readable width; every other pixel goes to the charts.
    auto* leftPane = new QWidget(this);
    leftPane->setObjectName("PanelTestFields");
    leftPane->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    auto* left = new QVBoxLayout(leftPane);
    left->setContentsMargins(0, 0, 0, 0);
    top->addWidget(leftPane);

    auto* axisForm = new QFormLayout;
    mComboBox5 = new QComboBox(this);
    mComboBox5->setObjectName("ComboBox5");
    mEdit66 = new QLineEdit(this);
    mEdit66->setObjectName("Edit66");
    mEdit66->setReadOnly(true);
    axisForm->addRow(QStringLiteral("Axe"), mComboBox5);
    axisForm->addRow(QStringLiteral("Position"), mEdit66);
    left->addLayout(axisForm);
    auto* reset = new QPushButton(QString::fromUtf8("Réinitialise"), this);
    reset->setObjectName("BitBtn7");
    left->addWidget(reset);

    auto* move = new QGroupBox(QStringLiteral("Mouvement"), this);
    auto* moveForm = new QFormLayout(move);
    auto edit = [&](const char* name, const char* text) {
        auto* e = new QLineEdit(QString::fromUtf8(text), move);
        e->setObjectName(name);
        return e;
    };
    mStart = edit("Edit_startposition", "0000.000000");
    mPeriod = edit("Edit_period", "0.0500");
    mDuration = edit("Edit_duration", "1.2");
    mPoints = edit("Edit_points", "1");
    mEdit164 = edit("Edit164", "TRAJECTORY.KVX");
    mLength = edit("Edit_lenght", "1.00000");
    mSpeed = edit("Edit_speed", "1.000000");
    moveForm->addRow(QString::fromUtf8("Départ"), mStart);
    moveForm->addRow(QString::fromUtf8("Période"), mPeriod);
    moveForm->addRow(QString::fromUtf8("Durée"), mDuration);
    moveForm->addRow(QStringLiteral("Nb. points"), mPoints);
    auto* mode = new QGroupBox(QStringLiteral("Mode"), move);
    mode->setObjectName("RadioGroup1");
    mode->setProperty("radioGroup", true);
    auto* modeRow = new QHBoxLayout(mode);
    mSimple = new QRadioButton(QStringLiteral("Simple"), mode);
    mComplex = new QRadioButton(QStringLiteral("Complexe"), mode);
    mSimple->setChecked(true);
    modeRow->addWidget(mSimple);
    modeRow->addWidget(mComplex);
    moveForm->addRow(mode);
    auto* pvtRow = new QHBoxLayout;
    pvtRow->addWidget(mEdit164, 1);
    mButton96 = new QPushButton(QStringLiteral("Choix"), move);
    mButton96->setObjectName("Button96");
    pvtRow->addWidget(mButton96);
    moveForm->addRow(pvtRow);
    mLengthLabel = new QLabel(QStringLiteral("Longueur"), move);
    mSpeedLabel = new QLabel(QStringLiteral("Vitesse"), move);
    moveForm->addRow(mLengthLabel, mLength);
    moveForm->addRow(mSpeedLabel, mSpeed);
    mTest = new QPushButton(QStringLiteral("Test"), move);
    mTest->setObjectName("BitBtn2");
    moveForm->addRow(mTest);
    left->addWidget(move);

    auto* view = new QGroupBox(QStringLiteral("Voir"), this);
    auto* viewRow = new QHBoxLayout(view);
    mTheorical = toggle("Théorique", "SB_valid_theorical", false, view);
    mMeasured = toggle("Mesuré", "SB_valid_mesured", true, view);
    mError = toggle("Erreur", "SB_valid_error", false, view);
    mFft = toggle("TFR", "SB_valid_FFT", true, view);
    mSpeedView = toggle("Vitesse", "SB_valid_speed", false, view);
    for (QPushButton* b : {mTheorical, mMeasured, mError, mFft, mSpeedView}) {
        viewRow->addWidget(b);
        connect(b, &QPushButton::toggled, this, [this] { SB_valid_theoricalClick(); });
    }
    left->addWidget(view);
    auto* files = new QHBoxLayout;
    mLoad = new QPushButton(QStringLiteral("Charge"), this);
    mLoad->setObjectName("BitBtn_load");
    auto* save = new QPushButton(QStringLiteral("Sauve"), this);
    save->setObjectName("BitBtn5");
    auto* params = new QPushButton(QStringLiteral("Parametres"), this);
    params->setObjectName("BitBtn4");
    files->addWidget(mLoad);
    files->addWidget(save);
    files->addWidget(params);
    left->addLayout(files);
    left->addStretch(1);

    auto* charts = new QVBoxLayout;
    top->addLayout(charts, 1);
    mChart1 = new QChart;
    mChart1->setTitle(QStringLiteral("Position = f/t"));
    mChart1->legend()->hide();
    mSignalAxisX = new QValueAxis;
    mSignalAxisX->setTitleText(QStringLiteral("T"));
    mSignalAxisY = new QValueAxis;
    mSignalAxisY->setTitleText(QStringLiteral("Pos"));
    mChart1->addAxis(mSignalAxisX, Qt::AlignBottom);
    mChart1->addAxis(mSignalAxisY, Qt::AlignLeft);
    mChart2 = new QChart;
    mChart2->setTitle(QStringLiteral("TFR"));
    mSpectrumAxisX = new QValueAxis;
    mSpectrumAxisY = new QValueAxis;
    mSpectrumAxisY->setTitleText(QStringLiteral("TFR"));
    mSpectrumLogAxis = new QLogValueAxis;
    mSpectrumLogAxis->setTitleText(QStringLiteral("TFR"));
    mChart2->addAxis(mSpectrumAxisX, Qt::AlignBottom);
    mChart2->addAxis(mSpectrumAxisY, Qt::AlignLeft);
    const struct {
        int index;
        const char* title;
        QColor colour;
        bool spectrum;
    } rows[] = {{1, "Théoriques", Qt::blue, false},        {2, "mesurés", Qt::green, false},
                {3, "Erreur", Qt::red, false},             {9, "vitessses Théoriques", Qt::blue, false},
                {10, "Vitesses mesurées", Qt::green, false}, {11, "Erreur vitesses", Qt::red, false},
                {4, "FFT theorique", Qt::blue, true},      {5, "FFT mesure", Qt::green, true},
                {6, "FFT Error", Qt::red, true}};
    for (const auto& r : rows) {
        auto* s = new QLineSeries;
        s->setObjectName(QStringLiteral("Series%1").arg(r.index));
        s->setName(QString::fromUtf8(r.title));
        s->setColor(r.colour);
        s->setPointsVisible(!r.spectrum);
        QChart* c = r.spectrum ? mChart2 : mChart1;
        c->addSeries(s);
        s->attachAxis(r.spectrum ? mSpectrumAxisX : mSignalAxisX);
        s->attachAxis(r.spectrum ? static_cast<QAbstractAxis*>(mSpectrumAxisY) : mSignalAxisY);
        mSeries[r.index] = s;
    }
    mSignalView = new QChartView(mChart1, this);
    mSignalView->setObjectName("Chart1");
    mSpectrumView = new QChartView(mChart2, this);
    mSpectrumView->setObjectName("Chart2");
    mSignalView->setMinimumHeight(kMinChartHeight);
    mSpectrumView->setMinimumHeight(kMinChartHeight);
    charts->addWidget(mSignalView, 1);
    charts->addWidget(mSpectrumView, 1);

    mParam = new Tfparamfft(this, [this](int delay, bool log) {
        mDelayMs = delay;
        setLogarithmic(log);
    });

    connect(mComboBox5, &QComboBox::currentTextChanged, this, [this] { ComboBox5Change(); });
    connect(mSimple, &QRadioButton::toggled, this, [this] { RadioGroup1Click(); });
    connect(mLength, &QLineEdit::textEdited, this, [this] { Edit_lenghtChange(); });
    connect(mSpeed, &QLineEdit::textEdited, this, [this] { Edit_lenghtChange(); });
    connect(mDuration, &QLineEdit::textEdited, this, [this] { Edit_durationChange(); });
    connect(mPeriod, &QLineEdit::textEdited, this, [this] { Edit_durationChange(); });
    connect(mButton96, &QPushButton::clicked, this, [this] { Button96Click(); });
    connect(reset, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    connect(mTest, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(mLoad, &QPushButton::clicked, this, [this] { BitBtn_loadClick(); });
    connect(save, &QPushButton::clicked, this, [this] { BitBtn5Click(); });
    connect(params, &QPushButton::clicked, this, [this] { BitBtn4Click(); });

    const QString filter = QStringLiteral("Measures (*.MES);;All (*.*)");
    openFileDialog = [this, filter] { return QFileDialog::getOpenFileName(this, {}, {}, filter); };
    saveFileDialog = [this, filter] {
        QFileDialog d(this, {}, {}, filter);
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setDefaultSuffix(QStringLiteral("MES"));
        return d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty() ? d.selectedFiles().first() : QString();
    };
    RadioGroup1Click();
    setLogarithmic(true);
    SB_valid_theoricalClick();
}

void PidTestPage::setLogarithmic(bool on)
{
    mLogarithmic = on;
    QAbstractAxis* want = on ? static_cast<QAbstractAxis*>(mSpectrumLogAxis) : mSpectrumAxisY;
    QAbstractAxis* other = on ? static_cast<QAbstractAxis*>(mSpectrumAxisY) : mSpectrumLogAxis;
    if (!mChart2->axes(Qt::Vertical).contains(want)) {
        for (int i : {4, 5, 6}) mSeries[i]->detachAxis(other);
        mChart2->removeAxis(other);
        mChart2->addAxis(want, Qt::AlignLeft);
        for (int i : {4, 5, 6}) mSeries[i]->attachAxis(want);
    }
    fit(mChart2, mSpectrumAxisX, want, on);
}

void PidTestPage::loadSettings(IniFile& ini)
{
    PidTestSettings s;
    s.Read(ini);
    mStart->setText(general(s.StartPosition));
    mPeriod->setText(general(s.Period));
    mSpeed->setText(general(s.Speed));
    mDuration->setText(general(s.Duration));
    mLength->setText(general(s.Length));
    (s.Complex ? mComplex : mSimple)->setChecked(true);
    mEdit164->setText(QString::fromStdString(s.PvtName));
    mDelayMs = static_cast<int>(s.DelayMs);
    setLogarithmic(s.Logarithmic);
    RadioGroup1Click();
}

void PidTestPage::writeTestSettings(IniFile& ini, bool report)
{
    const struct {
        QLineEdit* field;
        PidTestNumber key;
        const char* message;
    } rows[] = {{mStart, PidTestNumber::StartPosition, "stringerrorparamposv"},
                {mPeriod, PidTestNumber::Period, "stringerrorparamper"},
                {mSpeed, PidTestNumber::Speed, "stringerrorparamspeed"},
                {mDuration, PidTestNumber::Duration, "stringerrorparamduration"},
                {mLength, PidTestNumber::Length, "stringerrorparamlength"}};
    // A bad field is reported (the first one only) and keeps its old value; it never keeps the
    // other fields from being saved.
    bool reported = false;
    for (const auto& r : rows) {
        const std::optional<double> v = strictNumber(r.field->text());
        if (!v) {
            if (report && !reported) ShowMsg(Text(r.message, r.field->text()).toStdString());
            reported = true;
            continue;
        }
        WritePidTestNumber(ini, r.key, *v);
    }
    WritePidTestComplex(ini, mComplex->isChecked());
    PidTestSettings s;
    s.Read(ini);
    mDelayMs = static_cast<int>(s.DelayMs);
    setLogarithmic(s.Logarithmic);
}

void PidTestPage::saveSettings(IniFile& ini) { writeTestSettings(ini, true); }

void PidTestPage::TSAdjPIDShow()
{
    const QString keep = mComboBox5->currentText();
    context().FillPositionerList(mComboBox5);
    const int i = mComboBox5->findText(keep);
    if (i >= 0) mComboBox5->setCurrentIndex(i);
    const std::string p = mComboBox5->currentText().toStdString();
    context().setThreadGroupName(p);
    if (!p.empty()) context().restartPositionReading(p, 1);
}

void PidTestPage::TSAdjPIDExit() { writeTestSettings(context().settings(), true); }

void PidTestPage::ComboBox5Change() { context().setThreadGroupName(mComboBox5->currentText().toStdString()); }

void PidTestPage::positionsChanged(std::span<const double> positions)
{
    if (!positions.empty()) mEdit66->setText(PositionText(positions[0]));
}

void PidTestPage::RadioGroup1Click()
{
    const bool simple = mSimple->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{mLength, mSpeed, mLengthLabel, mSpeedLabel}) w->setEnabled(simple);
    mButton96->setEnabled(!simple);
    mEdit164->setEnabled(!simple);
}

// The dependent fields follow only numbers that can be divided: otherwise they stay as they are.
void PidTestPage::Edit_lenghtChange()
{
    const auto length = strictNumber(mLength->text());
    const auto speed = strictNumber(mSpeed->text());
    if (length && speed && *speed != 0.0) mDuration->setText(general(*length / *speed));
    Edit_durationChange();
}

void PidTestPage::Edit_durationChange()
{
    const auto duration = strictNumber(mDuration->text());
    const auto period = strictNumber(mPeriod->text());
    if (duration && period && *period != 0.0) mPoints->setText(general(*duration / *period));
}

void PidTestPage::Button96Click()
{
    std::string name = mEdit164->text().toStdString();
    if (!InputQueryDialog("PVT Files", "File name ", name)) return;
    mEdit164->setText(QString::fromStdString(name));
    WritePidTestPvtName(context().settings(), name);
}

void PidTestPage::BitBtn7Click()
{
    const std::string p = mComboBox5->currentText().toStdString();
    const std::string group = p.substr(0, p.find('.'));
    if (group.empty() || !context().setThreadGroupName(group)) return;
    CallOnConnection(context(), 1.0, [&](int socket) {
        const int kill = api::GroupKill(socket, group);
        if (kill != 0) context().log(context().decripte_erreur(kill));
        return api::GroupInitialize(socket, group);
    });
    {
        std::lock_guard lock(context().controller().homing().mutex);
        context().controller().homing().HomingGroupName = group;
    }
    context().controller().homing().HomingRunning.store(1);
    context().controller().startHoming();
}

bool PidTestPage::waitUntil(const std::function<bool()>& done)
{
    while (!done()) {
        if (mAbort || common().StopRequested.load()) return false;
        WaitWithMessages(100);
    }
    return true;
}

bool PidTestPage::BitBtn2Click()
{
    if (mRunning) return false;
    mAbort = false;
    MaintenanceContext& ctx = context();
    // Every field is checked before anything is sent.
    const auto duration = strictNumber(mDuration->text());
    if (!duration || *duration <= 0) {
        ctx.log(Text("stringpbduration"));
        return false;
    }
    const auto period = strictNumber(mPeriod->text());
    // A period below one controller cycle (1/8000 s) cannot be armed.
    if (!period || std::nearbyint(*period * 8000.0) < 1.0) {
        ctx.log(Text("stringpbperiode"));
        return false;
    }
    mPidTestPeriod = *period;
    const std::optional<long long> points = PidTestPoints(*duration, *period);
    if (!points || *points > kPidTestMaxPoints) {
        ctx.log(Text("Stringtoomuchmeasure"));
        return false;
    }
    const bool complex = mComplex->isChecked();
    const auto speed = strictNumber(mSpeed->text());
    if (!speed || *speed <= 0) {
        ctx.log(Text("StringPbSpeed"));
        return false;
    }
    const auto start = strictNumber(mStart->text());
    if (!start) {
        ctx.log(Text("stringpbstartpos"));
        return false;
    }
    const auto length = strictNumber(mLength->text());
    if (!complex && !length) {
        ctx.log(Text("stringpblength"));
        return false;
    }
    const std::string p = mComboBox5->currentText().toStdString();
    if (p.empty()) {
        ctx.log(Text("stringpbaxis"));
        return false;
    }
    // Gathering and the SGamma profile address the positioner; the controller moves groups only,
    // so the return and the step go to the positioner's group.
    const std::string moveGroup = p.substr(0, p.find('.'));
    if (!ctx.setThreadGroupName(moveGroup) || !context().controller().setThreadGroupName(moveGroup)) return false;

    link::PooledSocket connection(context().controller(), 1.0);
    int socket = connection.index();
    if (socket < 0) {
        ctx.log(Text("stringnoconnectionmaint"));
        return false;
    }
    mRunning = true;
    mTest->setEnabled(false);
    bool ok = false;
    auto fail = [&](int code) {
        if (code != 0) ctx.log(ctx.decripte_erreur(code));
        return code == 0;
    };
    try {
        do {
            if (!fail(api::GatheringConfigurationSet(socket, p + ".SetpointPosition " + p + ".CurrentPosition " + p +
                                                                 ".FollowingError")))
                break;
            const std::string divisor = num::integer(static_cast<long long>(std::nearbyint(*period * 8000.0)));
            const std::string pointsText = num::integer(*points);
            double v = 0, a = 0, jmin = 0, jmax = 0;
            if (!fail(api::PositionerSGammaParametersGet(socket, p, v, a, jmin, jmax))) break;
            if (!fail(api::PositionerSGammaParametersSet(socket, p, *speed, a, jmin, jmax))) break;

            ctx.log(Text("stringretourdepart"));
            {
                std::lock_guard lock(context().controller().moveAbs().mutex);
                context().controller().moveAbs().Targets[0] = *start;
                context().controller().moveAbs().TargetCount = 1;
            }
            context().controller().moveAbs().MoveAbsError.store(0);
            context().controller().moveAbs().MoveAbsRunning.store(1);
            context().controller().startMoveAbsolute();
            if (!waitUntil([this] { return context().controller().moveAbs().MoveAbsRunning.load() == 0; })) break;
            // Measuring from the wrong place would give a wrong step response.
            if (const int e = context().controller().moveAbs().MoveAbsError.load(); e != 0) {
                ctx.log(ctx.decripte_erreur(e));
                ctx.log(Text("stringpidreturnfailed"));
                break;
            }

            ctx.log(Text("stringdeplacement"));
            if (!fail(api::EventAdd(socket, {p, "Immediate", "0", "GatheringRun", pointsText, divisor, "0"}))) break;
            QElapsedTimer t0;
            t0.start();
            WaitWithMessages(static_cast<unsigned>(std::max(0, mDelayMs)));
            if (complex) {
                connection.renew(*duration + 0.5);
                socket = connection.index();
                if (socket < 0) {
                    ctx.log(Text("stringnoconnectionmaint"));
                    break;
                }
                // The reply comes when the trajectory ends: the call runs off the GUI thread.
                const std::string file = mEdit164->text().toStdString();
                int code = api::kErrorEmptyReply;
                link::RunOffGuiThread([&] { code = api::MultipleAxesPVTExecution(socket, moveGroup, file, 1); });
                fail(code);
            } else {
                {
                    std::lock_guard lock(context().controller().moveRel().mutex);
                    context().controller().moveRel().Deltas[0] = *length;
                    context().controller().moveRel().DeltaCount = 1;
                }
                context().controller().startMoveRelative();
            }
            const qint64 end = static_cast<qint64>(*duration * 1000.0);
            if (!waitUntil([&] { return t0.elapsed() > end; })) break;
            if (!fail(api::GatheringStopAndSave(socket))) break;
            clearSeries();
            // A failed download must not show the previous test's file as this one.
            const bool fetched = common().ControllerUsable.load() != 0 &&
                                 context().controller().changeDir(common().RemoteGatheringDir, common().ProgramDir) &&
                                 context().controller().getFile("Gathering.dat", "Gathering.dat", true);
            std::string text;
            if (!fetched || !readWhole(common().ProgramDir + "Gathering.dat", text)) {
                ctx.log(Text("stringpidfetchfailed"));
                break;
            }
            ctx.clearLog();
            for (const std::string& line : NonEmptyLines(text)) ctx.log(QString::fromStdString(line));
            double filePeriod = mPidTestPeriod;
            const std::vector<PidSample> samples = PidSamplesFromGathering(text, mPidTestPeriod, &filePeriod);
            mPidTestPeriod = filePeriod;
            mSkipFirstOnSave = true;
            plot(samples, filePeriod);
            ok = true;
        } while (false);
    } catch (const std::exception& e) {
        ctx.log(QString::fromStdString(e.what()));
    }
    connection.release();
    // The position display goes on with the chosen positioner.
    ctx.setThreadGroupName(p);
    mRunning = false;
    mTest->setEnabled(true);
    return ok;
}

void PidTestPage::clearSeries()
{
    for (QLineSeries* s : mSeries)
        if (s) s->clear();
}

void PidTestPage::plot(const std::vector<PidSample>& samples, double period)
{
    clearSeries();
    mSamples = samples;
    QList<QPointF> pos[3], der[3];
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const PidSample& s = samples[i];
        const double v[3] = {s.setpoint, s.current, s.error};
        for (int k = 0; k < 3; ++k) pos[k].append(QPointF(s.x, v[k]));
        if (i > 0 && period > 0) {
            const PidSample& q = samples[i - 1];
            const double w[3] = {q.setpoint, q.current, q.error};
            for (int k = 0; k < 3; ++k) der[k].append(QPointF(s.x, (v[k] - w[k]) / period));
        }
    }
    for (int k = 0; k < 3; ++k) {
        mSeries[1 + k]->replace(pos[k]);
        mSeries[9 + k]->replace(der[k]);
    }
    for (int k = 0; k < 3; ++k) {
        // Computed off the chart: a zero magnitude has no place on the logarithmic axis (and tells
        // nothing on the linear one), so only positive ones reach the chart.
        QLineSeries computed;
        PlotSpectrum(*mSeries[1 + k], computed);
        QList<QPointF> kept;
        for (const QPointF& pt : computed.points())
            if (pt.y() > 0.0) kept.append(pt);
        mSeries[4 + k]->setColor(computed.color());
        mSeries[4 + k]->replace(kept);
    }
    SB_valid_theoricalClick();
}

void PidTestPage::SB_valid_theoricalClick()
{
    const bool speed = mSpeedView->isChecked(), fft = mFft->isChecked();
    const bool shown[3] = {mTheorical->isChecked(), mMeasured->isChecked(), mError->isChecked()};
    for (int k = 0; k < 3; ++k) {
        mSeries[1 + k]->setVisible(shown[k] && !speed);
        mSeries[9 + k]->setVisible(shown[k] && speed);
        mSeries[4 + k]->setVisible(shown[k] && fft);
    }
    // The position chart takes the page's height alone, or shares it with the spectrum.
    mSpectrumView->setVisible(fft);
    fit(mChart1, mSignalAxisX, mSignalAxisY, false);
    fit(mChart2, mSpectrumAxisX, mLogarithmic ? static_cast<QAbstractAxis*>(mSpectrumLogAxis) : mSpectrumAxisY, mLogarithmic);
}

bool PidTestPage::BitBtn_loadClick()
{
    if (!openFileDialog || mRunning) return false;
    const QString path = openFileDialog();
    if (path.isEmpty()) return false;
    return loadLog(path.toStdString());
}

bool PidTestPage::loadLog(const std::string& path)
{
    MaintenanceContext& ctx = context();
    QPalette red = mLoad->palette();
    const QPalette normal = red;
    red.setColor(QPalette::ButtonText, Qt::red);
    mLoad->setPalette(red);
    std::string text;
    std::optional<PidLogRead> read;
    if (readWhole(path, text)) read = ParsePidTestLog(text);
    if (!read) {
        ctx.log(Text("stringpidlogunreadable", QString::fromStdString(path)));
        mLoad->setPalette(normal);
        return false;
    }
    ctx.clearLog();
    for (const std::string& line : read->headerLines) ctx.log(QString::fromStdString(line));
    mComboBox5->setCurrentText(QString::fromStdString(read->log.axis));
    mStart->setText(QString::fromStdString(read->log.start));
    mPeriod->setText(QString::fromStdString(read->log.period));
    mSpeed->setText(QString::fromStdString(read->log.speed));
    mDuration->setText(QString::fromStdString(read->log.duration));
    mLength->setText(QString::fromStdString(read->log.length));
    const double period = num::parseLenient(read->log.period);
    if (!read->complete)
        ctx.log(Text("stringpidlogshort", QString::number(static_cast<qulonglong>(read->log.samples.size()))));
    mSkipFirstOnSave = false;
    plot(read->log.samples, period);
    mLoad->setPalette(normal);
    return true;
}

bool PidTestPage::BitBtn5Click()
{
    if (!saveFileDialog) return false;
    const QString path = saveFileDialog();
    if (path.isEmpty()) return false;
    return saveLog(path.toStdString());
}

// The samples saved are the ones plotted (after a test without its first, at x = 0), so saving
// right after loading a log writes that log's samples again.
bool PidTestPage::saveLog(const std::string& path)
{
    PidTestLog log;
    log.axis = mComboBox5->currentText().toStdString();
    log.start = mStart->text().toStdString();
    log.period = mPeriod->text().toStdString();
    log.speed = mSpeed->text().toStdString();
    log.duration = mDuration->text().toStdString();
    log.length = mLength->text().toStdString();
    const QDateTime now = QDateTime::currentDateTime();
    log.stamp = (now.date().toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ') +
                 now.time().toString(QStringLiteral("HH:mm:ss")))
                    .toStdString();
    const std::size_t first = mSkipFirstOnSave && !mSamples.empty() ? 1 : 0;
    log.samples.assign(mSamples.begin() + static_cast<std::ptrdiff_t>(first), mSamples.end());
    std::string error;
    if (!WriteFileAtomic(path, FormatPidTestLog(log), &error)) {
        context().log(Text("stringpidlogwrite", QString::fromStdString(path)));
        return false;
    }
    return true;
}

void PidTestPage::BitBtn4Click() { mParam->exec(); }

}  // namespace mvx::maint
