#pragma once
// The generated controller script "GCode_Converted.TCL": a fixed header of procedures and the
// connection opening, a body that the conversion inserts block by block, and a footer that
// closes the connection. The body grows at an insertion point that moves past every inserted
// line, kept as a gap buffer so that a body of a million blocks costs linear time.

#include "machineconfig.h"

#include <array>
#include <cstddef>
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

// Lines of the script with an insertion point.
class TclScript {
public:
    // Empties the script and writes header and footer; the insertion point is left between them.
    void Start(const MachineConfig& config);
    void Clear();

    // Inserts at the insertion point, which then points after the inserted line.
    void Insert(std::string line);
    void Insert(std::initializer_list<std::string_view> lines);

    // 0-based index of the line the next insertion becomes (the number of lines before it).
    std::size_t InsertLine() const noexcept { return mHead.size(); }
    // 1-based number, in the script view, of the line the next insertion becomes.
    int NextLineNumber() const noexcept { return static_cast<int>(mHead.size()) + 1; }
    // Moves the insertion point (clamped to the line count); costs the distance moved.
    void SetInsertLine(std::size_t index);

    std::size_t LineCount() const noexcept { return mHead.size() + mTail.size(); }
    const std::string& Line(std::size_t index) const;
    std::vector<std::string> Lines() const;
    // The lines, moved out: the script is empty afterwards.
    std::vector<std::string> TakeLines();
    // The file text: every line followed by "\n".
    std::string Text() const;

private:
    std::vector<std::string> mHead;  // lines before the insertion point
    std::vector<std::string> mTail;  // lines after it, last line first
};

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
    std::string Number(double v) const;
    std::string Coordinates(const std::array<double, 3>& p) const;

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
