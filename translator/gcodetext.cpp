#include "gcodetext.h"

#include <algorithm>

namespace mvx::gtext {

namespace {
bool isCapital(char c) { return c >= 'A' && c <= 'Z'; }
}  // namespace

void RemoveSpaces(std::string& s) { std::erase(s, ' '); }

void RemoveLineBreaks(std::string& s)
{
    std::erase_if(s, [](char c) { return c == '\r' || c == '\n'; });
}

void RemoveParenthesized(std::string& s)
{
    std::string out;
    out.reserve(s.size());
    bool inside = false;
    for (char c : s) {
        if (inside) {
            if (c == ')') inside = false;
            continue;
        }
        if (c == '(') {
            inside = true;
            continue;
        }
        if (c == ')') continue;
        out += c;
    }
    s = std::move(out);
}

void TrimLeftSpaces(std::string& s)
{
    const std::size_t b = s.find_first_not_of(' ');
    s.erase(0, b == std::string::npos ? s.size() : b);
}

void TrimRightSpaces(std::string& s)
{
    const std::size_t e = s.find_last_not_of(' ');
    s.erase(e == std::string::npos ? 0 : e + 1);
}

void TrimSpaces(std::string& s)
{
    TrimRightSpaces(s);
    TrimLeftSpaces(s);
}

std::string& UpperCaseText(std::string& s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

void NormalizeNumberText(std::string& s)
{
    for (char& c : s) {
        if (c == ',') c = '.';
        else if (c == '*' || c == '\t') c = ' ';
    }
}

std::string InsertBlanksBeforeCapitals(std::string_view line)
{
    // Exactly the room needed: a long line is held once more, not half as much again.
    std::size_t blanks = 0;
    for (std::size_t i = 1; i < line.size(); ++i)
        if (isCapital(line[i]) && line[i - 1] != ' ' && !isCapital(line[i - 1])) ++blanks;
    std::string out;
    if (blanks == 0) return std::string(line);
    out.reserve(line.size() + blanks);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (i > 0 && isCapital(c) && line[i - 1] != ' ' && !isCapital(line[i - 1])) out += ' ';
        out += c;
    }
    return out;
}

namespace {

// Where the read step cuts `line`: before each "G" that follows an earlier one (outside
// parentheses, at least two characters after it) in the rest of the line.
std::vector<std::size_t> secondGCuts(std::string_view line)
{
    std::vector<std::size_t> cuts;
    std::size_t from = 0;
    for (;;) {
        // Positions of "G" outside parentheses; a comment such as (G0 TO G54) never cuts.
        std::size_t first = std::string_view::npos, second = std::string_view::npos;
        int depth = 0;
        for (std::size_t i = from; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '(') ++depth;
            else if (c == ')' && depth > 0) --depth;
            else if (c == 'G' && depth == 0) {
                if (first == std::string_view::npos) {
                    first = i;
                } else if (i >= first + 2) {
                    second = i;
                    break;
                }
            }
        }
        if (second == std::string_view::npos) return cuts;
        cuts.push_back(second);
        from = second;
    }
}

void appendPieces(std::string_view line, const std::vector<std::size_t>& cuts, gcode::LineList& out)
{
    std::size_t begin = 0;
    for (std::size_t cut : cuts) {
        std::string head(line.substr(begin, cut - begin));
        TrimRightSpaces(head);
        out.push_back(head);
        begin = cut;
    }
    out.push_back(line.substr(begin));
}

}  // namespace

void NormalizeLoadedLine(std::string_view line, gcode::LineList& out, std::string& scratch)
{
    scratch = InsertBlanksBeforeCapitals(line);
    const std::vector<std::size_t> cuts = secondGCuts(scratch);
    if (cuts.empty()) out.push_back(scratch);  // the usual line
    else appendPieces(scratch, cuts, out);
}

gcode::LineList NormalizeLoadedLines(const gcode::LineList& lines)
{
    gcode::LineList out;
    out.reserve(lines.size(), lines.textBytes() + lines.textBytes() / 8);
    std::string scratch;
    for (std::string_view line : lines) NormalizeLoadedLine(line, out, scratch);
    return out;
}

}  // namespace mvx::gtext
