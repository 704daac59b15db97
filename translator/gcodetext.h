#pragma once
// Text helpers of the G-code road: the read-step normalisation of a loaded file and the small
// in-place string helpers the line parser uses. ASCII only; no locale.

#include "gcodelines.h"

#include <string>
#include <string_view>
#include <vector>

namespace mvx::gtext {

void RemoveSpaces(std::string& s);                 // every blank
void RemoveLineBreaks(std::string& s);             // every CR and LF
// Every part from "(" to ")" with both; an unclosed "(" deletes to the end; a lone ")" goes.
void RemoveParenthesized(std::string& s);
void TrimLeftSpaces(std::string& s);               // blanks only, not tabs
void TrimRightSpaces(std::string& s);
void TrimSpaces(std::string& s);
std::string& UpperCaseText(std::string& s);        // ASCII letters
void NormalizeNumberText(std::string& s);          // "," -> ".", "*" and TAB -> blank

// Read step, first half: a blank before every capital letter whose predecessor is neither a
// blank nor a capital (G01X10.5Y-3 -> G01 X10.5 Y-3; GX stays).
std::string InsertBlanksBeforeCapitals(std::string_view line);

// Read step, second half: a line holding a second "G" (outside parentheses, at least two
// characters after the first) is cut before it; the text is never duplicated or lost.
// Both halves over one loaded line, appended to `out` (`scratch`: working text kept from line
// to line), and over a loaded file: the normalised line list.
void NormalizeLoadedLine(std::string_view line, gcode::LineList& out, std::string& scratch);
gcode::LineList NormalizeLoadedLines(const gcode::LineList& lines);

}  // namespace mvx::gtext
