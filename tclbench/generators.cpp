#include "tclbench/generators.h"

#include "translator/numtext.h"

#include <cctype>

namespace mvx::tclbench {

namespace {

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

bool countInRange(long value) { return value >= 1 && value <= kMaxCount; }

// A free text that ends up inside a quoted TCL word: no quote, bracket, brace, backslash,
// semicolon or line end may close or open anything.
bool isQuotedSafe(std::string_view text)
{
    for (char c : text)
        if (c == '"' || c == '[' || c == ']' || c == '{' || c == '}' || c == '\\' || c == ';' || c == '\n' ||
            c == '\r')
            return false;
    return true;
}

// Parallel list rule: padded with blanks up to the name list, then the value at the name's index.
void store(std::vector<std::string>& list, std::size_t count, std::size_t index, const std::string& value)
{
    while (list.size() < count) list.push_back(kNoVariable);
    list[index] = value;
}

struct Prefix {
    std::string_view text;  // the line's beginning, "set " included
    std::size_t nameFrom;   // characters of the variable name before the name itself
    int list;               // 0 gpio, 1 mask, 2 sense, 3 open delay, 4 close delay
    bool input;
    bool output;
    bool delay;
};

// Tried in this order, so a mask or level line is never taken for a GPIO name.
constexpr Prefix kPrefixes[] = {
    {"set DI_Nb_", 6, 1, true, false, false},
    {"set DI_Sense_", 9, 2, true, false, false},
    {"set DI_", 3, 0, true, false, false},
    {"set DO_Nb_", 6, 1, false, true, false},
    {"set DO_Sense_", 9, 2, false, true, false},
    {"set DO_", 3, 0, false, true, false},
    {"set Open_Delay_", 11, 3, false, true, true},
    {"set Close_Delay_", 12, 4, false, true, true},
};

}  // namespace

std::string JoinLines(const Lines& lines)
{
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += '\n';
    }
    return out;
}

Lines SplitTextLines(std::string_view text)
{
    Lines out;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(from, end - from));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(std::move(line));
        from = end + 1;
    }
    return out;
}

std::string RemoveBlanks(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c != ' ') out += c;
    return out;
}

std::string TrimLeft(std::string_view text)
{
    const auto p = text.find_first_not_of(' ');
    return p == std::string_view::npos ? std::string() : std::string(text.substr(p));
}

std::string Trim(std::string_view text)
{
    std::string out = TrimLeft(text);
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    return out;
}

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsTclName(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

int IoTable::indexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

IoTable ParseIoDefinitions(std::string_view text, IoKind kind)
{
    IoTable t;
    for (const std::string& line : SplitTextLines(text)) {
        for (const Prefix& p : kPrefixes) {
            if (!startsWith(line, p.text)) continue;
            const bool wanted = (kind == IoKind::Inputs && p.input) || (kind == IoKind::Outputs && p.output) ||
                                (kind == IoKind::Delays && p.delay);
            if (!wanted) break;
            std::string variable = TrimLeft(std::string_view(line).substr(3));
            const auto blank = variable.find_first_of(" \t");
            if (blank != std::string::npos) variable.erase(blank);
            const std::string name = variable.substr(p.nameFrom);
            if (!IsTclName(name)) break;
            int index = t.indexOf(name);
            if (index < 0) {
                t.names.push_back(name);
                index = static_cast<int>(t.names.size()) - 1;
            }
            std::vector<std::string>* lists[] = {&t.gpio, &t.mask, &t.sense, &t.openDelay, &t.closeDelay};
            store(*lists[p.list], t.names.size(), static_cast<std::size_t>(index), variable);
            break;
        }
    }
    // Every parallel list as long as the names, so an index is always valid.
    for (auto* l : {&t.gpio, &t.mask, &t.sense, &t.openDelay, &t.closeDelay})
        while (l->size() < t.names.size()) l->push_back(kNoVariable);
    return t;
}

std::vector<std::string> DelayChoices(std::string_view text)
{
    std::vector<std::string> out;
    for (const std::string& line : SplitTextLines(text)) {
        if (!startsWith(line, "set Open_Delay_") && !startsWith(line, "set Close_Delay_")) continue;
        std::string variable = TrimLeft(std::string_view(line).substr(3));
        const auto blank = variable.find_first_of(" \t");
        if (blank != std::string::npos) variable.erase(blank);
        if (IsTclName(variable)) out.push_back("$" + variable);
    }
    return out;
}

std::optional<std::string> RepeatLoopLine(long count, std::string_view variableText)
{
    const std::string v = RemoveBlanks(variableText);
    if (!countInRange(count) || !IsTclName(v)) return std::nullopt;
    return " for {set " + v + " 0} {$" + v + "<" + num::integer(count) + "} {incr " + v + "}\\";
}

std::optional<Lines> RepeatLines(long count, std::string_view variableText)
{
    auto loop = RepeatLoopLine(count, variableText);
    if (!loop) return std::nullopt;
    return Lines{"# Repeat " + num::integer(count) + " time", *loop, "{", " ", "}"};
}

std::optional<std::string> DelayPreview(std::string_view delayText)
{
    const std::string d = RemoveBlanks(delayText);
    bool ok = false;
    if (!d.empty() && d[0] == '$') {
        ok = IsTclName(std::string_view(d).substr(1));
    } else if (!d.empty()) {
        ok = true;
        for (char c : d)
            if (!std::isdigit(static_cast<unsigned char>(c))) ok = false;
    }
    if (!ok) return std::nullopt;
    return " after " + d;
}

std::optional<Lines> DelayLines(std::string_view delayText)
{
    auto preview = DelayPreview(delayText);
    if (!preview) return std::nullopt;
    return Lines{"# Delay (" + RemoveBlanks(delayText) + ") ms", *preview, " "};
}

std::optional<Lines> TestInputLines(std::string_view nameView, std::string_view gpio, std::string_view mask,
                                    std::string_view sense, long increment)
{
    if (!IsTclName(nameView) || !IsTclName(gpio) || !IsTclName(mask) || !IsTclName(sense) || !countInRange(increment))
        return std::nullopt;
    const std::string name(nameView), g(gpio), m(mask), s(sense);
    return Lines{
        "# Test Input " + name,
        "set DigitalValue 0",
        "set ErrorCode [catch \"GPIODigitalGet $SocketID $" + g + " DigitalValue\"]",
        "if {$ErrorCode != 0} \\",
        "{",
        "DisplayErrorAndClose $SocketID $ErrorCode  \"GPIODigitalGet (" + name + ")\"",
        "set tcl_argv(0) [expr $tcl_argv(0) + " + num::integer(increment) + "]",
        "return",
        "}",
        "if {($DigitalValue  & $" + m + ") != $" + s + "}\\",
        "{",
        "#Test \"" + name + "\" is true",
        " ",
        "}  \\",
        "else \\",
        "{",
        "#Test \"" + name + "\" is false",
        " ",
        "}",
    };
}

bool OutputValueIsOne(std::string_view valueText) { return contains(valueText, "1"); }

std::string OutputValueLine(bool one, std::string_view mask, std::string_view sense)
{
    if (one) return "set Digital_Value $" + std::string(sense);
    return "set Digital_Value [expr $" + std::string(sense) + " ^ $" + std::string(mask) + "]";
}

std::string OutputDelayLine(bool one, std::string_view name)
{
    return std::string(one ? "after $Open_Delay_" : "after $Close_Delay_") + std::string(name);
}

std::optional<Lines> ChangeOutputLines(std::string_view nameView, std::string_view valueText, std::string_view gpio,
                                       std::string_view mask, std::string_view sense, bool withDelay,
                                       long increment)
{
    if (!IsTclName(nameView) || !IsTclName(gpio) || !IsTclName(mask) || !IsTclName(sense) ||
        !countInRange(increment) || !isQuotedSafe(valueText))
        return std::nullopt;
    const std::string name(nameView);
    const bool one = OutputValueIsOne(valueText);
    Lines out{
        "# Change output " + name + " to " + std::string(valueText),
        OutputValueLine(one, mask, sense),
        "set ErrorCode [catch \"GPIODigitalSet $SocketID $" + std::string(gpio) + "  $" + std::string(mask) +
            " $Digital_Value \"]",
        "if {$ErrorCode != 0} \\",
        "{",
        "DisplayErrorAndClose $SocketID $ErrorCode  \"GPIODigitalSet (" + name + ")\"",
        "set tcl_argv(0) [expr $tcl_argv(0) + " + num::integer(increment) + "]",
        "return",
        "}",
    };
    if (withDelay) out.push_back(OutputDelayLine(one, name));
    out.push_back("  ");
    return out;
}

std::optional<Lines> CallProcedureLines(std::string_view name, std::string_view callLine)
{
    if (Trim(callLine).empty() || !isQuotedSafe(name) || !isQuotedSafe(callLine)) return std::nullopt;
    return Lines{"# Call Procedure " + std::string(name), std::string(callLine), ""};
}

std::string ScriptParameters(std::string_view argumentsText)
{
    std::string p = TrimLeft(argumentsText);
    return p.empty() ? "0" : p;
}

std::optional<std::string> ScriptCallLine(std::string_view script, std::string_view argumentsText)
{
    if (script.empty() || !isQuotedSafe(script) || script.find_first_of(" \t$") != std::string_view::npos ||
        !isQuotedSafe(argumentsText))
        return std::nullopt;
    return "set ErrorCode [catch \" TCLScriptExecuteAndWait $SocketID " + std::string(script) + " Subscript " +
           ScriptParameters(argumentsText) + " result\"]";
}

std::optional<Lines> ScriptCallLines(std::string_view script, std::string_view argumentsText, long increment)
{
    auto call = ScriptCallLine(script, argumentsText);
    if (!call || !countInRange(increment)) return std::nullopt;
    const std::string s(script);
    return Lines{
        "# Call TCL script " + s,
        "# parameters " + ScriptParameters(argumentsText),
        *call,
        "if {$ErrorCode != 0} \\",
        "{",
        "DisplayErrorAndClose $SocketID $ErrorCode  \"TCLScriptExecuteAndWait (" + s + ")\"",
        "set tcl_argv(0) [expr $tcl_argv(0) + " + num::integer(increment) + "]",
        "return",
        "}",
        "if {$tcl_argv(0) !=0} \\",
        "{",
        "return",
        "}",
        "",
    };
}

std::vector<std::string> ProcedureEntries(std::string_view text)
{
    std::vector<std::string> out;
    for (const std::string& line : SplitTextLines(text)) {
        if (!contains(line, "# Name")) continue;
        const auto colon = line.find(':');
        if (colon != std::string::npos) out.push_back(line.substr(colon + 1));
    }
    return out;
}

std::optional<ProcedureInfo> ProcedureDetails(std::string_view text, std::string_view name)
{
    const std::string wanted = Trim(name);
    if (wanted.empty()) return std::nullopt;
    const Lines lines = SplitTextLines(text);
    std::size_t i = 0;
    // The exact name, so "Door" never shows the details of "Door_is_active".
    for (; i < lines.size(); ++i) {
        const auto colon = lines[i].find(':');
        if (contains(lines[i], "# Name") && colon != std::string::npos && Trim(lines[i].substr(colon + 1)) == wanted)
            break;
    }
    if (i == lines.size()) return std::nullopt;
    ProcedureInfo info;
    for (++i; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (contains(line, "# Function")) {
            const auto colon = line.find(':');
            info.function = colon == std::string::npos ? std::string() : line.substr(colon + 1);
        } else if (contains(line, "#")) {
            info.comments.push_back(line.substr(line.find('#') + 1));
        } else if (const auto p = line.find("proc"); p != std::string::npos) {
            std::string call = line.substr(std::min(line.size(), p + 5));
            for (char c : {'{', '}', '\\'})
                if (const auto q = call.find(c); q != std::string::npos) call.erase(q, 1);
            info.callLine = call;
            break;
        }
    }
    return info;
}

}  // namespace mvx::tclbench
