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
    std::string out;
    out.reserve(line.size() + line.size() / 2);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (i > 0 && isCapital(c) && line[i - 1] != ' ' && !isCapital(line[i - 1])) out += ' ';
        out += c;
    }
    return out;
}

std::vector<std::string> SplitAtSecondG(std::string_view line)
{
    std::vector<std::string> pieces;
    std::string_view rest = line;
    for (;;) {
        // Positions of "G" outside parentheses; a comment such as (G0 TO G54) never cuts.
        std::size_t first = std::string_view::npos, second = std::string_view::npos;
        int depth = 0;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            const char c = rest[i];
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
        if (second == std::string_view::npos) break;
        std::string head(rest.substr(0, second));
        TrimRightSpaces(head);
        pieces.push_back(std::move(head));
        rest = rest.substr(second);
    }
    pieces.emplace_back(rest);
    return pieces;
}

std::vector<std::string> NormalizeLoadedLines(const std::vector<std::string>& lines)
{
    std::vector<std::string> out;
    out.reserve(lines.size());
    for (const std::string& line : lines) {
        for (std::string& piece : SplitAtSecondG(InsertBlanksBeforeCapitals(line)))
            out.push_back(std::move(piece));
    }
    return out;
}

}  // namespace mvx::gtext
