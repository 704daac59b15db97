#pragma once
// Locale-independent number text: the one formatter and the two parsers the whole program uses.
// Nothing here consults the C locale, so a French desktop never changes a byte of a script,
// a PVT row or an API request.

#include <optional>
#include <string>
#include <string_view>

namespace mvx::num {

// Fixed notation with `decimals` digits after ".", after rounding to `precision` significant
// digits (the classic "fixed, precision P, D digits" rule: 1/3 with P=12, D=13 gives
// "0.3333333333330"). Exact decimal halves round away from zero. A result that rounds to zero
// prints without a minus sign. NaN prints "NAN", infinities "INF" / "-INF".
std::string fixed(double value, int decimals, int precision = 15);
// The same text appended to `out`, with no temporary string in the common case.
void appendFixed(std::string& out, double value, int decimals, int precision = 15);
// appendFixed, returning what the appended text reads back as (parseStrict, 0 for NAN / INF).
double appendFixedRead(std::string& out, double value, int decimals, int precision = 15);

// Shortest text that reads back to the same double, at most 15 significant digits,
// no exponent for ordinary magnitudes ("12.5", "100", "0.0872664626"). Used for settings values.
std::string general(double value, int precision = 15);

// Integer text.
std::string integer(long long value);

// Strict: the whole text (blanks around allowed) must be one decimal number:
// [+-]digits[.digits][(e|E)[+-]digits], or [+-].digits. Returns nullopt otherwise.
std::optional<double> parseStrict(std::string_view text);

// Lenient: the longest leading number (after leading blanks); 0 when there is none.
// `consumed` (optional) receives the number of characters used, 0 when nothing was read.
double parseLenient(std::string_view text, std::size_t* consumed = nullptr);

// Strict integer ([+-]digits, blanks around allowed), range-checked.
std::optional<long long> parseIntStrict(std::string_view text);

}  // namespace mvx::num
