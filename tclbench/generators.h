#pragma once
// The TCL fragments that the editor's generator dialogs insert, and the reading of the
// controller's I/O definitions file "IO.INC" and procedure include file "Procedure.INC" that
// feed them. Pure functions: no I/O, no Qt.
//
// Every builder returns std::nullopt when one of its inputs would break the TCL text (a blank,
// a quote, a bracket or a brace where a word is expected) or is out of range; the dialogs refuse
// such input instead of inserting it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mvx::tclbench {

using Lines = std::vector<std::string>;

// Each line followed by "\n": the text handed to the editor's insert callback.
std::string JoinLines(const Lines& lines);
// Lines of a text, each without its line end ("\n" or "\r\n").
Lines SplitTextLines(std::string_view text);
std::string RemoveBlanks(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string Trim(std::string_view text);
std::string Upper(std::string_view text);
// A plain TCL variable or procedure name: letters, digits and "_" only.
bool IsTclName(std::string_view text);

inline constexpr long kMaxCount = 2147483600;

// ----- IO.INC --------------------------------------------------------------------------------

enum class IoKind { Inputs, Outputs, Delays };

// The names of one dialog in order of first appearance, with parallel lists of the variable
// names at the same index; kNoVariable where the file has no line of that kind for the name.
inline const std::string kNoVariable = " ";
struct IoTable {
    std::vector<std::string> names;
    std::vector<std::string> gpio;
    std::vector<std::string> mask;
    std::vector<std::string> sense;
    std::vector<std::string> openDelay;
    std::vector<std::string> closeDelay;
    int indexOf(std::string_view name) const;
};
// Only the line kinds of `kind` count; prefixes are case-sensitive and start in column one.
// Names that are not plain TCL names are left out (they could not be referenced as $name).
IoTable ParseIoDefinitions(std::string_view text, IoKind kind);
// The delay dialog's choices: "$Open_Delay_<name>" / "$Close_Delay_<name>" in file order.
std::vector<std::string> DelayChoices(std::string_view text);

// ----- generators ----------------------------------------------------------------------------

// Counted loop; the variable text has its blanks removed.
std::optional<Lines> RepeatLines(long count, std::string_view variableText);
// The loop line as the repeat dialog previews it.
std::optional<std::string> RepeatLoopLine(long count, std::string_view variableText);

// Delay: a number of milliseconds or a "$variable", blanks removed.
std::optional<Lines> DelayLines(std::string_view delayText);
std::optional<std::string> DelayPreview(std::string_view delayText);

// Test of a digital input; gpio/mask/sense are the variable names (DI_x, DI_Nb_x, DI_Sense_x).
std::optional<Lines> TestInputLines(std::string_view name, std::string_view gpio, std::string_view mask,
                                    std::string_view sense, long increment);

// Change of a digital output. The value text counts as 1 when it contains "1".
bool OutputValueIsOne(std::string_view valueText);
std::string OutputValueLine(bool one, std::string_view mask, std::string_view sense);
std::string OutputDelayLine(bool one, std::string_view name);
std::optional<Lines> ChangeOutputLines(std::string_view name, std::string_view valueText, std::string_view gpio,
                                       std::string_view mask, std::string_view sense, bool withDelay,
                                       long increment);

// Call of a procedure of Procedure.INC; name as listed, call line as built by ProcedureDetails.
std::optional<Lines> CallProcedureLines(std::string_view name, std::string_view callLine);

// Call of another script of the controller; the arguments lose their leading blanks, "0" when empty.
std::string ScriptParameters(std::string_view argumentsText);
std::optional<std::string> ScriptCallLine(std::string_view script, std::string_view argumentsText);
std::optional<Lines> ScriptCallLines(std::string_view script, std::string_view argumentsText, long increment);

// ----- Procedure.INC as the call dialog reads it ----------------------------------------------

// The text after the first ":" of every line holding "# Name" (leading blank kept).
std::vector<std::string> ProcedureEntries(std::string_view text);
struct ProcedureInfo {
    std::string function;     // text after the first ":" of the "# Function" line
    std::vector<std::string> comments;
    std::string callLine;     // the "proc" line without "proc ", its first "{", "}" and "\"
};
// The block whose "# Name" header names exactly `name` (blanks around ignored).
std::optional<ProcedureInfo> ProcedureDetails(std::string_view text, std::string_view name);

}  // namespace mvx::tclbench
