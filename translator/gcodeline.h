#pragma once
// One G-code line -> one Block (the words with "given" flags), with the parameter
// assignments and bracketed expressions evaluated on the way. The modal values live in a
// LineState that the caller owns and passes in; nothing here is global.
//
// Order of operations in ParseGCodeLine:
//   1. blanks removed, "," -> ".", "*" and TAB -> blank (not inside [...] nor after "=");
//   2. an empty line ends here (no words);
//   3. the line number word N is dropped;
//   4. parameters: "#name=expr" is evaluated and stored, each "[expr]" is replaced by its
//      value with 8 decimals;
//   5. a line that does not begin with F G H I J M N X Y Z ends here (no words);
//   6. the words are split at letters and their numbers read;
//   7. X Y Z I J that the line does not give are appended with their last values.

#include "expression.h"
#include "machineconfig.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mvx::gcode {

// A failure that stops a conversion: number, text and the 1-based line it was found on.
// Number 0 is success; `if (auto err = f(...)) return err;` passes a failure up.
struct [[nodiscard]] Status {
    int Number = 0;
    std::string Text;
    int Line = 0;

    explicit operator bool() const noexcept { return Number != 0; }
    bool Ok() const noexcept { return Number == 0; }
};

// Parser error numbers beside the evaluator's (1..104).
inline constexpr int kErrorParameter = 201;  // "Parameter error :" + the text that failed
inline constexpr int kErrorIncoherentLine = 202;  // arc end off its target
inline constexpr int kErrorSetting = 204;         // "Setting error :" + a setting out of its range

inline constexpr int kMaxLineWords = 20;
// Longest text of one expression ("[...]" or after "="): a longer one is a parameter error
// rather than millions of tokens.
inline constexpr std::size_t kMaxExpressionLength = 100000;
// Longest piece of G-code an error message quotes.
inline constexpr std::size_t kMaxQuotedLength = 200;

// `text` as an error message quotes it: at most kMaxQuotedLength bytes, then "...".
std::string QuotedText(std::string_view text);
inline constexpr int kMaxWords = kMaxLineWords + 5;  // room for the five completions

struct Word {
    char Letter = ' ';
    double Value = 0.0;
};

// The words of one line (the word table): the line's own words first, then the completed
// coordinates. `Given` has one bit per letter A..Z that the line wrote with a number.
struct Block {
    std::array<Word, kMaxWords> Words{};
    int WordCount = 0;      // entries in use
    int LineWordCount = 0;  // of which the line's own words

    std::uint32_t Given = 0;

    bool Empty() const noexcept { return WordCount == 0; }
    char First() const noexcept { return WordCount > 0 ? Words[0].Letter : ' '; }
    double FirstValue() const noexcept { return WordCount > 0 ? Words[0].Value : 0.0; }
    bool Gives(char letter) const noexcept;
    // Value of the first of the line's own words with that letter, `fallback` when none.
    double ValueOf(char letter, double fallback = 0.0) const noexcept;
    void Clear() noexcept;
};

// Modal values and parameters of one conversion. A new conversion starts from a fresh one.
struct LineState {
    double ModalX = 0.0;
    double ModalY = 0.0;
    double ModalZ = 0.0;
    double ModalI = 0.0;
    double ModalJ = 0.0;
    TExpression ParamEvaluator;  // parameters live until the end of the conversion
    std::string Scratch;         // ReadGCodeLine's working copy, kept from line to line
};

// Status of a configuration a conversion cannot use (UnusableSetting), Ok otherwise.
Status CheckConfig(const MachineConfig& config);

// Drivers' preparation: upper case, comments in parentheses and blanks removed.
std::string PrepareLine(std::string_view raw);

// Errors: evaluator errors (number and text of the evaluator), 6 for unbalanced or reversed
// "[" "]", 8 for an empty expression, kErrorParameter for a malformed assignment or an
// expression longer than kMaxExpressionLength.
Status SubstituteParameters(std::string& line, TExpression& evaluator, int lineNumber);

// Errors: those of SubstituteParameters; kErrorParameter for a word whose number cannot be
// read or lies beyond kMaxCoordinate, an F word below kMinSpeed, or a line of more than
// kMaxLineWords words.
Status ParseGCodeLine(std::string line, LineState& state, Block& block, int lineNumber);

// PrepareLine and ParseGCodeLine in one pass, without a copy of the line per call: what both
// conversion drivers use. The same words and errors as the two calls.
Status ReadGCodeLine(std::string_view raw, LineState& state, Block& block, int lineNumber);

// The integer code of a G or M word, nullopt when the value is not an exact integer
// (G90.1 is not G90).
std::optional<int> ExactCode(double value) noexcept;

struct PathExtents {
    double MaxX = 0.0, MinX = 0.0, MaxY = 0.0, MinY = 0.0, MaxZ = 0.0, MinZ = 0.0;
};

// Target of a move: only what the line gives.
struct Target {
    double X = 0.0, Y = 0.0, Z = 0.0;
    bool HasX = false, HasY = false, HasZ = false;
    bool Any = false;
};

// Centre offsets of an arc: a letter the line does not give is 0.
struct Centre {
    double I = 0.0, J = 0.0, K = 0.0;
    bool HasI = false, HasJ = false, HasK = false;
    bool Any = false;
};

// Reads the line's own words from `firstEntry` (1-based): F sets `speed` when `useFCodes`,
// H ends the scan, X Y Z fill the target and widen the extents.
void GetXYZF(const Block& block, int firstEntry, double& speed, bool useFCodes, Target& target,
             PathExtents& extents);
// I J K among the line's own words after the first.
void GetIJK(const Block& block, Centre& centre);

// The longest dwell a script can hold ("after" takes a 32-bit count of milliseconds).
inline constexpr long long kMaxDwellMs = 2147483647;

// G4, on both conversion paths: entry 2 of the word table in seconds, so a P word, or the
// completed X when the line gives no time word. Milliseconds rounded half to even; a negative
// time waits nothing. Errors: kErrorParameter for a time beyond kMaxDwellMs.
Status DwellMilliseconds(const Block& block, int lineNumber, long long& milliseconds);

}  // namespace mvx::gcode
