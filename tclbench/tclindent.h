#pragma once
// Brace-counting re-indentation of a TCL text: `depth` blanks per brace level, braces after a
// "#" on the same line not counted.

#include <string>
#include <vector>

namespace mvx::tclbench {

inline constexpr int kDefaultIndentDepth = 6;

// Re-indents every line; depth <= 0 leaves the lines as they are.
std::vector<std::string> ReindentLines(const std::vector<std::string>& lines, int depth);
// The same on a whole text; lines end with "\n" (a "\r\n" text keeps its "\r\n").
std::string ReindentText(const std::string& text, int depth);

// A depth typed by the user: a decimal integer from 1 to 64, else nothing.
bool ParseIndentDepth(const std::string& text, int& depth);

}  // namespace mvx::tclbench
