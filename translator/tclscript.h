#pragma once
// The generated controller script "GCode_Converted.TCL": a fixed header of procedures and the
// connection opening, a body that the conversion inserts block by block, and a footer that
// closes the connection. The body grows at an insertion point that moves past every inserted
// line: the end of the header and body text, the footer after it.

#include "machineconfig.h"

#include <array>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace mvx {

// Text that goes into the script from outside (file name, group and axis names, language
// texts): CR and LF removed, and no trailing backslash, which would join the next line to it.
std::string ScriptSafeText(std::string_view text);

namespace tclcheck {
// After "OpenConnection" only.
inline constexpr std::string_view kShort =
    "if {$ErrorCode != 0}  {set tcl_argv(0) $ErrorCode ; return $ErrorCode}";
// After commands of the body: moves, PVT executions, output changes.
inline constexpr std::string_view kClosing =
    "if {$ErrorCode!= 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}";
// After the move that precedes the first PVT run.
inline constexpr std::string_view kClosingSpaced =
    "if {$ErrorCode != 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}";
// After the script's own procedures (activate, inactivate, change_speed).
inline constexpr std::string_view kProcedure = "if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}";
}  // namespace tclcheck

// Where the first PVT run of a script starts, as the arguments of the travel there: "0.0 0.0 0.0"
// ("0.0 0.0" for a group without Z) at the origin, else the point with "NB DIGIT" decimals.
std::string RunStartArguments(const MachineConfig& config, const std::array<double, 3>& start);

// The script as it is built: header and body as one text (the body grows at its end, the
// insertion point), then the footer. One text and no string per line: a body of a million
// blocks costs its bytes and nothing more.
class TclScript {
public:
    // Empties the script and writes header and footer; the insertion point is left between them.
    void Start(const MachineConfig& config);
    void Clear();

    // From now on the text goes to `sink` in pieces of about `chunk` bytes, in order, each
    // ending with a line: a long script is never held whole. TakeText then hands over the rest
    // and the footer and returns nothing; Text and Lines see only what was not handed over yet.
    void Spill(std::function<void(std::string_view)> sink, std::size_t chunk);

    // Inserts at the insertion point, which then points after the inserted line.
    void Insert(std::string_view line);
    void Insert(std::initializer_list<std::string_view> lines);
    // Room for about `bytes` of text: room not written costs address space only, and growing
    // a long script copies it.
    void Reserve(std::size_t bytes) { mText.reserve(bytes); }
    // A line made piece by piece: append its text to Open(), then EndLine().
    std::string& Open() noexcept { return mText; }
    void EndLine()
    {
        mText.push_back('\n');
        ++mLines;
        if (mSink && mText.size() >= mChunk) SpillText();
    }

    // 0-based index of the line the next insertion becomes (the number of lines before it).
    std::size_t InsertLine() const noexcept { return mLines; }
    // 1-based number, in the script view, of the line the next insertion becomes.
    int NextLineNumber() const noexcept { return static_cast<int>(mLines) + 1; }

    std::size_t LineCount() const noexcept { return mLines + mTail.size(); }
    std::vector<std::string> Lines() const;
    // The file text: every line followed by "\n".
    std::string Text() const;
    // The same, moved out: the script is empty afterwards.
    std::string TakeText();

private:
    void SpillText();

    std::string mText;               // lines before the insertion point, each followed by "\n"
    std::size_t mLines = 0;
    std::function<void(std::string_view)> mSink;
    std::size_t mChunk = 0;
    std::vector<std::string> mTail;  // the footer
};

// The lines of a script text (every line followed by "\n").
std::vector<std::string> SplitScriptLines(std::string_view text);

// 1-based script line numbers of a written block: the line table texts quote them.
struct ScriptSpan {
    int First = 0;
    int Last = 0;
};

// Writes the body blocks of the script and keeps the tool state of the script path.
class TclBodyWriter {
public:
    TclBodyWriter(TclScript& script, const MachineConfig& config);

    bool ToolActive() const noexcept { return mToolActive; }

    void ToolOff();
    void ToolOn();
    // A positioning or working move (tool off / on before it as needed). Absolute moves give the
    // end point, relative ones the displacement end − start. First: the move line (working
    // move: two lines above it); Last: its check line.
    ScriptSpan Move(const std::array<double, 3>& start, const std::array<double, 3>& end, bool working,
                    bool relative);
    // Speed of one axis (0 X, 1 Y, 2 Z) through the script's change_speed procedure.
    void SpeedChange(int axis, double speed);
    // A PVT run of file "TRJ" + n + ".PVT". The first run of a script in absolute mode is
    // preceded by a travel to the run's start point, with the tool off. First: the comment line;
    // Last: the empty line.
    ScriptSpan PvtRun(int fileNumber, const std::array<double, 3>& runStart, bool relative);
    // One output change of M code `mCode`. First: the comment line; Last: its check line.
    ScriptSpan OutputChange(int mCode, int gpio, unsigned mask, unsigned value);
    // A dwell of `milliseconds`.
    ScriptSpan Dwell(long long milliseconds);

private:
    void AppendCoordinates(std::string& out, const std::array<double, 3>& p) const;

    TclScript& mScript;
    const MachineConfig& mConfig;
    bool mToolActive = false;
    bool mRunWritten = false;
};

// Line table texts (shown in the window; "§" is a line break there).
std::string PositioningLineText(ScriptSpan span);
std::string WorkLineText(ScriptSpan span);
std::string PvtRunLineText(int fileNumber, ScriptSpan span);
std::string MCommandLineText(ScriptSpan span);

}  // namespace mvx
