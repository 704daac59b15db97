#pragma once
// The TCL editor's list of the controller's include files (settings section "INC FILES") and the
// three dialogs that add a file to it, remove one, and insert a variable that a file sets.
// GUI thread only.

#include "link/controller.h"
#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QsciScintilla;

namespace mvx {
class IniFile;
}

namespace mvx::tclbench {

// A name that can be a settings key and a file of the program folder: not empty, no folder
// part, no "=", no line break, not beginning with "[" or ";".
bool IncludeFileNameValid(const QString& name);
// The list, in the settings file's order.
QStringList IncludeFiles(const IniFile& settings);
// Adds (value "ok") or removes a name; false when the name is refused or the write failed.
bool AddIncludeFile(IniFile& settings, const QString& name);
bool RemoveIncludeFile(IniFile& settings, const QString& name);

struct IncludeVariable {
    QString name;
    QString value;  // everything after the first blank that ends the name
};
// The "set" lines of an include file, in file order.
std::vector<IncludeVariable> ParseIncludeVariables(const QString& text);
// Inserts at the caret and puts the caret just after the inserted text.
void InsertAtCaret(QsciScintilla* editor, const QString& text);

// Adds a remote include file: on opening lists the controller's script folder.
class TFchoixINC : public QDialog {
    Q_OBJECT
public:
    TFchoixINC(QWidget* parent, link::Controller& controller);
    // Lists first; an unreachable script folder shows a message and returns Rejected at once.
    int exec() override;
    // Fills the box from the controller; false when the script folder is unreachable.
    bool ListRemoteIncludeFiles();
    QString chosenText() const;
    QComboBox* box() const { return CBChoixINC; }
    // A name that cannot be a settings key or a local file name is refused with a message.
    void accept() override;

private:
    QComboBox* CBChoixINC = nullptr;

private:
    link::Controller& mController;
};

// Removes a file from the list.
class TFchoixRetrait : public QDialog {
    Q_OBJECT
public:
    explicit TFchoixRetrait(QWidget* parent = nullptr);
    int exec() override;
    void FillFromSettings();
    QString chosenText() const;
    QComboBox* box() const { return CBChoixINC; }

private:
    QComboBox* CBChoixINC = nullptr;
};

// Picks a variable of an include file and inserts its name or "$" + name into the editor.
class TFaddvariable : public QDialog {
    Q_OBJECT
public:
    TFaddvariable(QWidget* parent, link::Controller& controller, QsciScintilla* editor = nullptr);
    void SetEditor(QsciScintilla* editor) { mEditor = editor; }
    int exec() override;
    void FillFromSettings();
    // Fetches the file from the controller's script folder and lists its variables; false (the
    // warning shown, the list unchanged) when it cannot be fetched or read.
    bool CBChoixINCChange(const QString& name);
    // Shows a variable's value.
    void ChooseVariable(const QString& name);
    // The two insert buttons; nothing happens without a chosen name.
    bool InsertName();
    bool InsertValueReference();

    QComboBox* box() const { return CBChoixINC; }
    QListWidget* list() const { return ListBoxV1; }
    QString valueText() const;
    bool warningShown() const;

private:
    bool insert(const QString& text);
    QComboBox* CBChoixINC = nullptr;
    QLabel* LabelAXESINC = nullptr;
    QListWidget* ListBoxV1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QsciScintilla* mEditor = nullptr;

private:
    link::Controller& mController;
};

void registerIncludeTexts();

}  // namespace mvx::tclbench
