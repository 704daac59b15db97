#include "gcodeline.h"

#include "gcodetext.h"
#include "numtext.h"

#include <cmath>

namespace mvx::gcode {

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::uint32_t letterBit(char c)
{
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return (c >= 'A' && c <= 'Z') ? (1u << (c - 'A')) : 0u;
}

Status parameterError(std::string_view text, int line)
{
    return Status{kErrorParameter, "Parameter error :" + QuotedText(text), line};
}

Status evalError(int code, int line) { return Status{code, EvalErrorText(code), line}; }

// Parses and computes one expression text; an empty text is an error here, since a bracket
// or an assignment with nothing in it must not silently give 0.
Status evaluate(TExpression& ev, std::string_view text, int line, long double& value)
{
    if (text.empty()) return evalError(EvalMisplacedOperator, line);
    if (text.size() > kMaxExpressionLength) return parameterError(text, line);
    if (!ev.Parse(text)) return evalError(ev.ErrorCode(), line);
    if (ev.Tokens().Count() == 0) return evalError(EvalMisplacedOperator, line);
    value = ev.Evaluate();
    if (ev.ErrorCode() != 0) return evalError(ev.ErrorCode(), line);
    return {};
}

// Step 1: "*" stays where it multiplies (inside brackets, after "=").
void normalize(std::string& s)
{
    std::erase(s, ' ');
    int depth = 0;
    bool expression = false;
    for (char& c : s) {
        if (c == '[') ++depth;
        else if (c == ']') --depth;
        else if (c == '=') expression = true;
        if (c == ',') c = '.';
        else if (c == '\t') c = ' ';
        else if (c == '*' && depth <= 0 && !expression) c = ' ';
    }
}

// Step 3: "N0010G1" -> "G1", "N10#A=5" -> "#A=5".
void dropLineNumber(std::string& s)
{
    if (s.empty() || (s[0] != 'N' && s[0] != 'n')) return;
    std::size_t i = 1;
    while (i < s.size() && !isLetter(s[i]) && s[i] != '#' && s[i] != '[') ++i;
    s.erase(0, i);
}

bool validName(std::string_view name)
{
    if (name.empty()) return false;
    for (char c : name)
        if (!isLetter(c) && !isDigit(c) && c != '_') return false;
    return true;
}

}  // namespace

std::string QuotedText(std::string_view text)
{
    if (text.size() <= kMaxQuotedLength) return std::string(text);
    std::size_t cut = kMaxQuotedLength;
    // Never inside a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "...";
}

bool Block::Gives(char letter) const noexcept { return (Given & letterBit(letter)) != 0; }

double Block::ValueOf(char letter, double fallback) const noexcept
{
    for (int i = 0; i < LineWordCount; ++i)
        if (Words[static_cast<std::size_t>(i)].Letter == letter) return Words[static_cast<std::size_t>(i)].Value;
    return fallback;
}

void Block::Clear() noexcept
{
    Words.fill(Word{});
    WordCount = 0;
    LineWordCount = 0;
    Given = 0;
}

Status CheckConfig(const MachineConfig& config)
{
    const std::string bad = UnusableSetting(config);
    if (bad.empty()) return {};
    return Status{kErrorSetting, "Setting error :" + bad, 0};
}

std::string PrepareLine(std::string_view raw)
{
    std::string s(raw);
    gtext::UpperCaseText(s);
    gtext::RemoveParenthesized(s);
    gtext::RemoveSpaces(s);
    return s;
}

Status SubstituteParameters(std::string& line, TExpression& evaluator, int lineNumber)
{
    if (const std::size_t eq = line.find('='); eq != std::string::npos) {
        // Assignment "#name=expression"; the line itself yields no words.
        const std::string_view name = std::string_view(line).substr(1, eq - 1);
        if (line[0] != '#' || !validName(name)) return parameterError(line, lineNumber);
        long double value = 0.0L;
        if (auto err = evaluate(evaluator, std::string_view(line).substr(eq + 1), lineNumber, value))
            return err;
        evaluator.Constants().SetValue(name, value);
        gtext::RemoveSpaces(line);
        return {};
    }
    if (line.find_first_of("[]") == std::string::npos) return {};

    // Each outermost "[...]" becomes its value; nested brackets belong to the expression.
    std::string out;
    out.reserve(line.size() + 16);
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ']') return evalError(EvalBrackets, lineNumber);
        if (c != '[') {
            out += c;
            ++i;
            continue;
        }
        int depth = 0;
        std::size_t j = i;
        for (; j < line.size(); ++j) {
            if (line[j] == '[') ++depth;
            else if (line[j] == ']' && --depth == 0) break;
        }
        if (j >= line.size()) return evalError(EvalBrackets, lineNumber);
        long double value = 0.0L;
        const std::string_view expression = std::string_view(line).substr(i + 1, j - i - 1);
        if (auto err = evaluate(evaluator, expression, lineNumber, value)) return err;
        // The value becomes a word: one no word may hold is refused here, not written as "INF".
        if (!UsableCoordinate(static_cast<double>(value))) return parameterError(expression, lineNumber);
        out += num::fixed(static_cast<double>(value), 8);
        i = j + 1;
    }
    gtext::RemoveSpaces(out);
    line = std::move(out);
    return {};
}

namespace {

// Steps 3 to 7 on a line normalised by step 1 (not empty).
Status parseNormalized(std::string& line, LineState& state, Block& block, int lineNumber)
{
    dropLineNumber(line);
    if (auto err = SubstituteParameters(line, state.ParamEvaluator, lineNumber)) return err;
    if (line.empty()) return {};
    switch (line[0]) {
    case 'F': case 'G': case 'H': case 'I': case 'J': case 'M': case 'N': case 'X': case 'Y': case 'Z':
        break;
    default: return {};  // assignments and anything else: no words
    }

    std::size_t i = 0;
    int count = 0;
    while (i < line.size()) {
        const char letter = line[i];
        std::size_t j = i + 1;
        while (j < line.size() && !isLetter(line[j])) ++j;
        const std::string_view rest = std::string_view(line).substr(i + 1, j - i - 1);
        if (count >= kMaxLineWords) return parameterError(line, lineNumber);
        Word& w = block.Words[static_cast<std::size_t>(count++)];
        w.Letter = letter;
        w.Value = 0.0;
        if (!rest.empty()) {
            const auto v = num::parseStrict(rest);
            if (!v || !UsableCoordinate(*v) || (letter == 'F' && *v < kMinSpeed)) return parameterError(rest, lineNumber);
            w.Value = *v;
            block.Given |= letterBit(letter);
            switch (letter) {
            case 'X': state.ModalX = w.Value; break;
            case 'Y': state.ModalY = w.Value; break;
            case 'Z': state.ModalZ = w.Value; break;
            case 'I': state.ModalI = w.Value; break;
            case 'J': state.ModalJ = w.Value; break;
            default: break;
            }
        }
        i = j;
    }
    block.LineWordCount = count;

    const struct {
        char Letter;
        double Value;
    } completions[] = {{'X', state.ModalX}, {'Y', state.ModalY}, {'Z', state.ModalZ},
                       {'I', state.ModalI}, {'J', state.ModalJ}};
    for (const auto& c : completions) {
        if (block.Gives(c.Letter)) continue;
        block.Words[static_cast<std::size_t>(count++)] = Word{c.Letter, c.Value};
    }
    block.WordCount = count;
    return {};
}

}  // namespace

Status ParseGCodeLine(std::string line, LineState& state, Block& block, int lineNumber)
{
    block.Clear();
    normalize(line);
    if (line.empty()) return {};
    return parseNormalized(line, state, block, lineNumber);
}

Status ReadGCodeLine(std::string_view raw, LineState& state, Block& block, int lineNumber)
{
    block.Clear();
    // PrepareLine and step 1 in one pass into the state's buffer: upper case, comments and
    // blanks out, then "," -> ".", TAB -> blank and "*" -> blank outside "[...]" and before "=".
    std::string& line = state.Scratch;
    line.clear();
    line.reserve(raw.size());
    bool comment = false;
    int depth = 0;
    bool expression = false;
    for (char c : raw) {
        if (comment) {
            if (c == ')') comment = false;
            continue;
        }
        if (c == '(') {
            comment = true;
            continue;
        }
        if (c == ')' || c == ' ') continue;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c == '[') ++depth;
        else if (c == ']') --depth;
        else if (c == '=') expression = true;
        if (c == ',') c = '.';
        else if (c == '\t') c = ' ';
        else if (c == '*' && depth <= 0 && !expression) c = ' ';
        line.push_back(c);
    }
    if (line.empty()) return {};
    return parseNormalized(line, state, block, lineNumber);
}

std::optional<int> ExactCode(double value) noexcept
{
    if (!std::isfinite(value) || value != std::trunc(value) || std::fabs(value) > 1.0e9) return std::nullopt;
    return static_cast<int>(value);
}

void GetXYZF(const Block& block, int firstEntry, double& speed, bool useFCodes, Target& target,
             PathExtents& extents)
{
    target = Target{};
    for (int e = firstEntry; e >= 1 && e <= block.LineWordCount; ++e) {
        const Word& w = block.Words[static_cast<std::size_t>(e - 1)];
        if (w.Letter == 'H') break;
        if (w.Letter == 'F') {
            if (useFCodes && block.Gives('F')) speed = w.Value;
            continue;
        }
        double* value = nullptr;
        bool* has = nullptr;
        double* maxV = nullptr;
        double* minV = nullptr;
        switch (w.Letter) {
        case 'X': value = &target.X; has = &target.HasX; maxV = &extents.MaxX; minV = &extents.MinX; break;
        case 'Y': value = &target.Y; has = &target.HasY; maxV = &extents.MaxY; minV = &extents.MinY; break;
        case 'Z': value = &target.Z; has = &target.HasZ; maxV = &extents.MaxZ; minV = &extents.MinZ; break;
        default: continue;
        }
        if (!block.Gives(w.Letter)) continue;  // a bare "X" moves nothing
        *value = w.Value;
        *has = true;
        if (w.Value > *maxV) *maxV = w.Value;
        if (w.Value < *minV) *minV = w.Value;
        target.Any = target.HasX || target.HasY || target.HasZ;
    }
}

void GetIJK(const Block& block, Centre& centre)
{
    centre = Centre{};
    for (int e = 2; e <= block.LineWordCount; ++e) {
        const Word& w = block.Words[static_cast<std::size_t>(e - 1)];
        if (!block.Gives(w.Letter)) continue;
        switch (w.Letter) {
        case 'I': centre.I = w.Value; centre.HasI = true; break;
        case 'J': centre.J = w.Value; centre.HasJ = true; break;
        case 'K': centre.K = w.Value; centre.HasK = true; break;
        default: continue;
        }
        centre.Any = true;
    }
}

Status DwellMilliseconds(const Block& block, int lineNumber, long long& milliseconds)
{
    milliseconds = 0;
    const double seconds = block.WordCount >= 2 ? block.Words[1].Value : 0.0;
    const double scaled = seconds * 1000.0;
    if (!(scaled > 0.0)) return {};
    double whole = std::floor(scaled);
    const double rest = scaled - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (!(whole <= static_cast<double>(kMaxDwellMs))) return parameterError(num::general(seconds), lineNumber);
    milliseconds = static_cast<long long>(whole);
    return {};
}

}  // namespace mvx::gcode
