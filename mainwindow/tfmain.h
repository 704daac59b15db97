#pragma once
// The main window: the road of one job (read, convert, upload, init, execute), its views,
// menus and status. Created first at start-up; its creation reads the translator settings.

#include "app/batchrun.h"

#include <QMainWindow>

#include <memory>

class QLabel;

namespace mvx {

class TFmain : public QMainWindow, public BatchJob {
    Q_OBJECT
public:
    explicit TFmain(QWidget* parent = nullptr);
    ~TFmain() override;

    // Start-up hands over the command line; the batch runs at the first activation.
    void setBatchRunner(std::unique_ptr<BatchRunner> runner);
    void setSimulation(bool simulation);
    bool simulation() const override;
    // Numeric command-line options, already checked, applied to the conversion settings.
    void applyNumericOption(const std::string& section, const std::string& key, double value);

    // BatchJob
    std::string gcodeFolder() const override;
    std::string lastConvertedFile() const override { return mLastFile; }
    void reduceLayout() override;
    void selectMode(int mode) override;
    bool readFile(const std::string& path) override;
    bool convert() override;
    bool initialise() override;
    bool execute() override;
    bool batchMode() const override { return mBatchMode; }
    void closeProgram() override;

    void setBatchMode(bool on) { mBatchMode = on; }

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void FormActivate();

    std::unique_ptr<BatchRunner> mBatch;
    QLabel* mSimulationLabel = nullptr;
    std::string mLastFile;
    bool mBatchMode = false;
    int mMode = 1;
};

}  // namespace mvx
