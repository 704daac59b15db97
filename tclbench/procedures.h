#pragma once
// The procedure builder: keeps the controller's include file "Procedure.INC" (scripts folder),
// with generated test procedures for the digital inputs and set procedures for the digital
// outputs of "IO.INC". Every change is made on the local copy in the program folder and uploaded
// at once; "Procedure.OLD" there keeps the file as it was before the last deletion.
//
// The include file on the controller is only ever replaced by a copy that was fetched from it in
// this opening (or started empty when the controller has none), so procedures are never lost to
// a stale local copy. GUI thread only.

#include "link/controller.h"
#include "tclbench/generators.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QListWidget;
class QPlainTextEdit;

namespace mvx::tclbench {

inline constexpr const char* kProcedureFile = "Procedure.INC";
inline constexpr const char* kProcedureOldFile = "Procedure.OLD";
inline constexpr const char* kIoFile = "IO.INC";

// ----- the file's text -----------------------------------------------------------------------

// The appended block: empty line, the four header lines, then the procedure.
Lines InputProcedureBlock(std::string_view procedure, std::string_view input, bool active);
Lines OutputProcedureBlock(std::string_view procedure, std::string_view output, bool activate);
// Names of the "proc" lines (text after "PROC " up to the first "{", trailing blank kept).
std::vector<std::string> FunctionNames(std::string_view text);
// Inputs and outputs of IO.INC that have their bit number and level lines (case ignored);
// outputs also need their close delay, which their procedure waits.
struct ProcedureIo {
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};
ProcedureIo ParseProcedureIo(std::string_view text);
// 0-based first and last line (inclusive) of the block of `name`: from the empty line before its
// "# Name" header (when there is one) to the line that closes its procedure body; text written
// by hand after the body stays. nullopt when no header names exactly `name`.
struct BlockRange {
    std::size_t first = 0;
    std::size_t last = 0;
};
std::optional<BlockRange> FindProcedureBlock(const Lines& lines, std::string_view name);
// The text with `block` appended, in the line ends the text already uses.
std::string AppendLines(std::string_view text, const Lines& block);
// The text without lines first..last, every other byte kept.
std::string RemoveLines(std::string_view text, BlockRange range);

// ----- windows -------------------------------------------------------------------------------

// The confirmation that shows the block a deletion would remove.
class TFsupprime : public QDialog {
    Q_OBJECT
public:
    explicit TFsupprime(QWidget* parent);
    // Shows the lines modally; true on Yes.
    bool Ask(const Lines& block);

private:
    QPlainTextEdit* mMemo = nullptr;
};

class TFProcedures : public QDialog {
    Q_OBJECT
public:
    TFProcedures(QWidget* parent, link::Controller& controller);

    // Tests replace the deletion confirmation (default: the TFsupprime window).
    void SetConfirmDeletion(std::function<bool(const Lines&)> confirm) { mConfirm = std::move(confirm); }

    // Fetches both files and fills the three lists (also run by every show).
    void FormShow();
    // Double clicks, by row.
    void ListBox1DblClick(int row);
    void ListBox2DblClick(int row);
    void ListBox3DblClick(int row);

    QListWidget* inputs() const { return mInputs; }
    QListWidget* outputs() const { return mOutputs; }
    QListWidget* functions() const { return mFunctions; }
    bool procedureFileMissing() const;
    bool ioFileMissing() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum class IncState { Unknown, Fetched, Absent };
    void newProcedure(const std::string& name, bool input);
    bool nameTaken(const std::string& name) const;
    // Writes the local copy and uploads it; on failure the local copy is put back.
    bool commit(const std::string& before, bool existedBefore, const std::string& after);

    QListWidget* mInputs = nullptr;
    QListWidget* mOutputs = nullptr;
    QListWidget* mFunctions = nullptr;
    QLabel* mLabel1 = nullptr;
    QLabel* mLabel2 = nullptr;
    TFsupprime* mSupprime = nullptr;
    IncState mIncState = IncState::Unknown;
    std::function<bool(const Lines&)> mConfirm;

private:
    link::Controller& mController;
};

// Built-in texts of the procedure builder and the generator dialogs (once).
void registerProcedureTexts();

// Reads a whole local file; nullopt when it cannot be opened.
std::optional<std::string> ReadLocalFile(const std::string& path);

}  // namespace mvx::tclbench
