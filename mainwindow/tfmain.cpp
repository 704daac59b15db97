#include "tfmain.h"

#include "app/common.h"
#include "app/dialogs.h"
#include "app/inifile.h"
#include "app/language.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace mvx {

TFmain::TFmain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("Fmain");
    setWindowTitle("MOVANTRIX");
    mSimulationLabel = new QLabel("SIMULATION", this);
    mSimulationLabel->setObjectName("LabelSimulation");
    statusBar()->addPermanentWidget(mSimulationLabel);
    RememberWindowPosition(this, true);
    RegisterTranslatedWindow(texts::Family::Translator, this);
    FormCreate();
}

TFmain::~TFmain() = default;

void TFmain::FormCreate()
{
    if (IniFile* ini = SettingsIni()) mLastFile = ini->readString("TRAJECTORY", "LAST", "");
}

void TFmain::setBatchRunner(std::unique_ptr<BatchRunner> runner) { mBatch = std::move(runner); }

void TFmain::setSimulation(bool simulation) { mSimulationLabel->setVisible(simulation); }

bool TFmain::simulation() const { return !mSimulationLabel->isHidden(); }

void TFmain::applyNumericOption(const std::string& section, const std::string& key, double value)
{
    if (IniFile* ini = SettingsIni()) ini->writeFloat(section, key, value);
}

std::string TFmain::gcodeFolder() const { return common().ProgramDir + "GCODE/"; }

void TFmain::reduceLayout() {}
void TFmain::selectMode(int mode) { mMode = mode; }
bool TFmain::readFile(const std::string&) { return false; }
bool TFmain::convert() { return false; }
bool TFmain::initialise() { return simulation() ? true : false; }
bool TFmain::execute() { return false; }

void TFmain::closeProgram()
{
    QTimer::singleShot(0, this, [this] { close(); });
}

void TFmain::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) {
        try {
            FormActivate();
        } catch (...) {
        }
    }
}

void TFmain::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    // Platforms without a window manager (offscreen, bare X) may never activate the window.
    activateWindow();
    QTimer::singleShot(200, this, [this] {
        try {
            FormActivate();
        } catch (...) {
        }
    });
}

void TFmain::FormActivate()
{
    if (mBatch) mBatch->onActivated(*this);
}

void TFmain::closeEvent(QCloseEvent* e)
{
    e->accept();
    QApplication::quit();
}

}  // namespace mvx
