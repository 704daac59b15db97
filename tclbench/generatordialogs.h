#pragma once
// The six dialogs that insert generated TCL into the script open in the TCL editor. Each one
// shows a preview; "Insert" hands the fragment's lines (each ending in "\n") to the insert
// callback, which puts them below the caret's line, and closes the dialog with the OK result.
// Input the TCL text cannot carry is refused with a message and the dialog stays open.
// GUI thread only; every dialog rebuilds its lists from the controller's files when shown.

#include "link/controller.h"
#include "tclbench/generators.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace mvx::tclbench {

using InsertCallback = std::function<void(const std::string&)>;

// Makes the scripts folder current and fetches "IO.INC" (found without regard to case) into
// the program folder. True with the file's text ("" when the controller has none); false when
// the controller could not be reached (the session is then closed).
bool FetchIoDefinitions(link::Controller& controller, std::string& text);

class GeneratorDialog : public QDialog {
    Q_OBJECT
public:
    GeneratorDialog(QWidget* parent, const char* objectName, const char* caption, InsertCallback insert,
                    const char* cancelText = "Cancel");
    void SetInsert(InsertCallback insert) { mInsert = std::move(insert); }
    // Refreshes the lists (run by every show).
    virtual void FormShow() {}
    // The fragment for the current choices; nullopt when they cannot make valid TCL.
    virtual std::optional<Lines> Build() const = 0;
    // "Insert": false (and a message) when refused.
    bool InsertClick();

protected:
    void showEvent(QShowEvent* event) override;
    QWidget* body() const { return mBody; }
    QPushButton* insertButton() const { return mInsertButton; }

private:
    QWidget* mBody = nullptr;
    QPushButton* mInsertButton = nullptr;
    InsertCallback mInsert;
};

class TFrepeat : public GeneratorDialog {
    Q_OBJECT
public:
    TFrepeat(QWidget* parent, InsertCallback insert = {});
    std::optional<Lines> Build() const override;
    QSpinBox* count() const { return mCount; }
    QComboBox* variable() const { return mVariable; }
    QString preview() const;

private:
    void updatePreview();
    QSpinBox* mCount = nullptr;
    QComboBox* mVariable = nullptr;
    QLabel* mPreview = nullptr;
};

class TFdelay : public GeneratorDialog {
    Q_OBJECT
public:
    TFdelay(QWidget* parent, link::Controller& controller, InsertCallback insert = {});
    void FormShow() override;
    std::optional<Lines> Build() const override;
    QComboBox* delay() const { return mDelay; }

private:
    void updatePreview();
    QComboBox* mDelay = nullptr;
    QLabel* mPreview = nullptr;

private:
    link::Controller& mController;
};

class TFtestentree : public GeneratorDialog {
    Q_OBJECT
public:
    TFtestentree(QWidget* parent, link::Controller& controller, InsertCallback insert = {});
    void FormShow() override;
    // Lists from an IO.INC text (what FormShow does after the fetch).
    void SetDefinitions(const std::string& ioText);
    std::optional<Lines> Build() const override;
    QComboBox* names() const { return mNames; }
    QSpinBox* increment() const { return mIncrement; }

private:
    void updatePreview();
    IoTable mTable;
    QComboBox* mNames = nullptr;
    QSpinBox* mIncrement = nullptr;
    QLabel* mPreview = nullptr;

private:
    link::Controller& mController;
};

class TFChangesortie : public GeneratorDialog {
    Q_OBJECT
public:
    TFChangesortie(QWidget* parent, link::Controller& controller, InsertCallback insert = {});
    void FormShow() override;
    void SetDefinitions(const std::string& ioText);
    std::optional<Lines> Build() const override;
    QComboBox* names() const { return mNames; }
    QComboBox* value() const { return mValue; }
    QComboBox* delayChoice() const { return mDelayChoice; }
    QSpinBox* increment() const { return mIncrement; }

private:
    void updatePreview();
    IoTable mTable;
    QComboBox* mNames = nullptr;
    QComboBox* mValue = nullptr;
    QComboBox* mDelayChoice = nullptr;
    QSpinBox* mIncrement = nullptr;
    QLabel* mPreview = nullptr;

private:
    link::Controller& mController;
};

class TFcallProcedure : public GeneratorDialog {
    Q_OBJECT
public:
    TFcallProcedure(QWidget* parent, link::Controller& controller, InsertCallback insert = {});
    void FormShow() override;
    // Lists from a Procedure.INC text (what FormShow does after the fetch).
    void SetProcedures(const std::string& procedureText);
    std::optional<Lines> Build() const override;
    QComboBox* names() const { return mNames; }
    QString functionText() const;

private:
    void updateDetails();
    std::string mText;
    std::optional<ProcedureInfo> mInfo;
    QComboBox* mNames = nullptr;
    QLineEdit* mFunction = nullptr;
    QPlainTextEdit* mComments = nullptr;
    QLabel* mPreview = nullptr;

private:
    link::Controller& mController;
};

class TFscriptTCL : public GeneratorDialog {
    Q_OBJECT
public:
    TFscriptTCL(QWidget* parent, link::Controller& controller, InsertCallback insert = {});
    // False (after "Répertoire des scripts inaccessible") when the scripts folder is unreachable.
    bool RefreshScripts();
    void FormShow() override;
    std::optional<Lines> Build() const override;
    QComboBox* scripts() const { return mScripts; }
    QLineEdit* arguments() const { return mArguments; }
    QSpinBox* increment() const { return mIncrement; }

private:
    void updatePreview();
    QComboBox* mScripts = nullptr;
    QLineEdit* mArguments = nullptr;
    QSpinBox* mIncrement = nullptr;
    QLabel* mPreview = nullptr;

private:
    link::Controller& mController;
};

}  // namespace mvx::tclbench
