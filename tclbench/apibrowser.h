#pragma once
// The API browser: the functions described in "ORMIX.API" beside the program, one section per
// function, and the viewer that shows one function's fields and inserts a TCL call of it into
// the TCL editor. GUI thread only.

#include "tclbench/generators.h"

#include <QDialog>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTextEdit;

namespace mvx::tclbench {

inline constexpr const char* kApiFile = "ORMIX.API";

// The panes of a function, in the order of the field names that choose them.
enum ApiPane : int {
    PanePrototype, PaneInput, PaneOutput, PaneReturn, PaneInputTests, PaneDescription, PaneNotes,
    PaneApiErrors, PaneScript, kApiPaneCount
};

struct ApiIndex {
    std::vector<std::string> names;  // section names in file order
    std::vector<int> lines;          // 1-based line of each section's "[" line
};
ApiIndex ParseApiIndex(std::string_view text);
// Headings ("*..."), empty and single-blank names cannot be opened.
bool CanOpenApiEntry(std::string_view name);

// The TCL call built from the prototype's lines; `blueBegin`/`blueEnd` mark the arguments in
// its first line (the whole call when there is no "$").
struct ApiSnippet {
    Lines lines;
    std::size_t blueBegin = 0;
    std::size_t blueEnd = 0;
};
struct ApiFunction {
    std::array<std::vector<std::string>, kApiPaneCount> panes;
    std::optional<ApiSnippet> snippet;  // set when the script pane was built from the prototype
};
// The section whose "[" line is `headerLine` (1-based); nullopt when the file ends there.
// Without a script of its own the script pane gets the snippet built from the prototype.
std::optional<ApiFunction> ReadApiFunction(std::string_view text, int headerLine);

std::string ApiCallText(const std::vector<std::string>& prototype);
ApiSnippet BuildApiSnippet(const std::vector<std::string>& prototype);

using InsertText = std::function<void(const std::string&)>;

class TFshowProcedure : public QDialog {
    Q_OBJECT
public:
    // `insert` gets the lines (each ending in "\n") to put below the caret's line.
    TFshowProcedure(QWidget* parent, InsertText insert);
    void SetInsert(InsertText insert) { mInsert = std::move(insert); }
    // Fills the name and the nine panes (the snippet's arguments in blue).
    void ShowFunction(const std::string& name, const ApiFunction& function);
    // "Insert": the first script line; "Insert / test": every script line and one empty line.
    void InsertClick();
    void InsertTestClick();
    std::string paneText(int pane) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Lines scriptLines() const;
    QLineEdit* mName = nullptr;
    std::array<QPlainTextEdit*, kApiPaneCount - 1> mMemos{};
    QTextEdit* mScript = nullptr;
    InsertText mInsert;
};

class TFshowAPI : public QDialog {
    Q_OBJECT
public:
    // `apiPath` empty: "ORMIX.API" in the program folder.
    TFshowAPI(QWidget* parent, TFshowProcedure* viewer, std::string apiPath = {});
    const std::string& apiPath() const { return mPath; }
    // Whether the file exists (the editor's menu item does nothing otherwise).
    bool Available() const;
    // Reads the list again (every opening).
    void FormShow();
    // Click on entry `row`: false when nothing opens. `show` false fills the viewer without
    // showing it (tests).
    bool ListBox1Click(int row, bool show = true);
    QListWidget* list() const { return mList; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QListWidget* mList = nullptr;
    TFshowProcedure* mViewer = nullptr;
    std::string mPath;
    ApiIndex mIndex;
};

}  // namespace mvx::tclbench
