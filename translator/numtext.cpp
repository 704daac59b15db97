#include "numtext.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace mvx::num {
namespace {

bool isZeroText(const std::string& s)
{
    for (char c : s)
        if (c >= '1' && c <= '9') return false;
    return true;
}

// Round |v| to `decimals` decimals with exact halves going away from zero.
constexpr long double kPow10[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
                                  1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L};
// The same powers as doubles, all exact.
constexpr double kPow10Double[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                   1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

// Integer route for the common case: a scaled value below 1e12 is off by less than 6e-8 in
// long double, so away from a half (more than 1e-6 from it) its rounded integer is exactly what
// the correctly rounded text shows. Writes the digits and returns the end, or nullptr when the
// value needs the text route below.
bool fastUnits(double a, int decimals, unsigned long long& k)
{
    if (decimals > 18) return false;
    // Below 1e9 a double product is off by less than 1.2e-7: enough, and much cheaper.
    if (const double scaled = a * kPow10Double[decimals]; scaled < 1e9) {
        const auto whole = static_cast<unsigned long long>(scaled);  // floor: scaled >= 0
        const double frac = scaled - static_cast<double>(whole);
        if (!(std::fabs(frac - 0.5) > 1e-6)) return false;
        k = whole + (frac > 0.5 ? 1u : 0u);
        return true;
    }
    const long double wide = static_cast<long double>(a) * kPow10[decimals];
    if (!(wide < 1e12L)) return false;
    const auto whole = static_cast<unsigned long long>(wide);
    const long double frac = wide - static_cast<long double>(whole);
    if (!(std::fabs(frac - 0.5L) > 1e-6L)) return false;
    k = whole + (frac > 0.5L ? 1u : 0u);
    return true;
}

// The text of k / 10^decimals, written backwards so that it ends just before `end`; returns
// where it begins. At least one digit before the point.
char* writeUnits(char* end, unsigned long long k, int decimals)
{
    char* p = end;
    for (int i = 0; i < decimals; ++i) {
        *--p = static_cast<char>('0' + k % 10);
        k /= 10;
    }
    if (decimals > 0) *--p = '.';
    do {
        *--p = static_cast<char>('0' + k % 10);
        k /= 10;
    } while (k != 0);
    return p;
}

// Writes the digits and returns the end, or nullptr when the value needs the text route below.
char* fastFixedAbs(char* out, double a, int decimals)
{
    unsigned long long k = 0;
    if (!fastUnits(a, decimals, k)) return nullptr;
    char tmp[48];
    char* begin = writeUnits(tmp + sizeof tmp, k, decimals);
    const auto n = static_cast<std::size_t>(tmp + sizeof tmp - begin);
    std::memcpy(out, begin, n);
    return out + n;
}

std::string roundFixedAbs(double a, int decimals)
{
    char buf[512];
    if (char* end = fastFixedAbs(buf, a, decimals)) return std::string(buf, end);
    // Fast path: far from a half, the correctly rounded text is the answer. The scaled value in
    // long double is exact enough to tell; anything close to .5 takes the exact path below.
    if (decimals <= 18 && a < 1e15) {
        const long double scaled = static_cast<long double>(a) * kPow10[decimals];
        const long double frac = scaled - std::floor(scaled);
        if (std::fabs(frac - 0.5L) > 1e-6L) {
            auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, decimals);
            return std::string(buf, r.ptr);
        }
    }
    // Enough extra digits to tell an exact half from a value just beside it.
    constexpr int kExtra = 30;
    auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, decimals + kExtra);
    std::string wide(buf, r.ptr);
    const std::size_t dot = wide.find('.');
    const std::size_t cut = dot + 1 + static_cast<std::size_t>(decimals);
    bool tie = wide[cut] == '5';
    for (std::size_t i = cut + 1; tie && i < wide.size(); ++i)
        if (wide[i] != '0') tie = false;
    if (!tie) {
        r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, decimals);
        return std::string(buf, r.ptr);
    }
    // Round the kept digits up by one unit in the last place.
    std::string kept = wide.substr(0, decimals == 0 ? dot : cut);
    int i = static_cast<int>(kept.size()) - 1;
    for (; i >= 0; --i) {
        if (kept[i] == '.') continue;
        if (kept[i] == '9') {
            kept[i] = '0';
        } else {
            ++kept[i];
            break;
        }
    }
    if (i < 0) kept.insert(kept.begin(), '1');
    return kept;
}

}  // namespace

namespace {

// The whole text of fixed(), ending just before `end` (at least 48 bytes of room before it),
// when the integer route applies: the digit limit cuts nothing and the value is not near a half.
// Returns where it begins, nullptr otherwise. `read`, when given, receives the value the text
// reads back as: units / 10^decimals, both exact doubles, so the quotient is the correctly
// rounded value of the decimal text.
char* fastFixed(char* end, double value, int decimals, int precision, double* read = nullptr)
{
    if (!std::isfinite(value)) return nullptr;
    if (decimals < 0) decimals = 0;
    if (decimals > 40) decimals = 40;
    if (precision < 1) precision = 1;
    if (precision > 17) precision = 17;
    const double a = std::fabs(value);
    if (a != 0.0 && !(precision - decimals >= 0 && precision - decimals <= 18 &&
                      static_cast<long double>(a) < kPow10[precision - decimals]))
        return nullptr;
    unsigned long long units = 0;
    if (!fastUnits(a, decimals, units)) return nullptr;
    char* begin = writeUnits(end, units, decimals);
    const bool minus = std::signbit(value) && units != 0;
    if (read) {
        const double v = static_cast<double>(units) / kPow10Double[decimals];
        *read = minus ? -v : v;
    }
    if (minus) *--begin = '-';
    return begin;
}

}  // namespace

void appendFixed(std::string& out, double value, int decimals, int precision)
{
    char buf[64];
    char* const end = buf + sizeof buf;
    if (const char* begin = fastFixed(end, value, decimals, precision)) out.append(begin, static_cast<std::size_t>(end - begin));
    else out += fixed(value, decimals, precision);
}

double appendFixedRead(std::string& out, double value, int decimals, int precision)
{
    char buf[64];
    char* const end = buf + sizeof buf;
    double read = 0.0;
    if (const char* begin = fastFixed(end, value, decimals, precision, &read)) {
        out.append(begin, static_cast<std::size_t>(end - begin));
        return read;
    }
    const std::string text = fixed(value, decimals, precision);
    out += text;
    return parseStrict(text).value_or(0.0);
}

std::string fixed(double value, int decimals, int precision)
{
    {
        char buf[64];
        char* const end = buf + sizeof buf;
        if (const char* begin = fastFixed(end, value, decimals, precision)) return std::string(begin, static_cast<std::size_t>(end - begin));
    }
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (decimals < 0) decimals = 0;
    if (decimals > 40) decimals = 40;
    if (precision < 1) precision = 1;
    if (precision > 17) precision = 17;

    const bool negative = std::signbit(value);
    const double a = std::fabs(value);
    std::string body;
    if (a == 0.0) {
        body = roundFixedAbs(0.0, decimals);
    } else if (precision - decimals >= 0 && precision - decimals <= 18 &&
               static_cast<long double>(a) < kPow10[precision - decimals]) {
        // Few enough integer digits: the significant-digit limit cuts nothing.
        body = roundFixedAbs(a, decimals);
    } else {
        // Decimal exponent of the value once rounded to `precision` significant digits.
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, precision - 1);
        std::string sci(buf, r.ptr);
        const std::size_t epos = sci.find('e');
        const int exp10 = std::atoi(sci.c_str() + epos + 1);
        const int decimalsAllowed = precision - (exp10 + 1);
        if (decimals <= decimalsAllowed) {
            body = roundFixedAbs(a, decimals);
        } else {
            // More decimals than significant digits: place the significant digits, pad zeros.
            std::string digits;
            for (std::size_t i = 0; i < epos; ++i)
                if (sci[i] != '.') digits += sci[i];
            // value = 0.digits * 10^(exp10+1)
            const int intDigits = exp10 + 1;
            std::string intPart, fracPart;
            if (intDigits <= 0) {
                intPart = "0";
                fracPart = std::string(static_cast<std::size_t>(-intDigits), '0') + digits;
            } else if (intDigits >= static_cast<int>(digits.size())) {
                intPart = digits + std::string(intDigits - digits.size(), '0');
            } else {
                intPart = digits.substr(0, intDigits);
                fracPart = digits.substr(intDigits);
            }
            if (static_cast<int>(fracPart.size()) > decimals) fracPart.resize(decimals);
            fracPart.append(decimals - fracPart.size(), '0');
            body = decimals > 0 ? intPart + "." + fracPart : intPart;
        }
    }
    if (negative && !isZeroText(body)) return "-" + body;
    return body;
}

std::string general(double value, int precision)
{
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0.0) return "0";
    char buf[64];
    // Shortest round-trip text first; fall back to `precision` significant digits.
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general);
    std::string s(buf, r.ptr);
    std::size_t sig = 0;
    for (char c : s) {
        if (c == 'e') break;
        if (c >= '0' && c <= '9') ++sig;
    }
    if (sig > static_cast<std::size_t>(precision)) {
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
        s.assign(buf, r.ptr);
    }
    if (s.find('e') != std::string::npos) {
        const double a = std::fabs(value);
        if (a >= 1e-5 && a < 1e15) {
            // Write ordinary magnitudes without an exponent.
            // The shortest fixed text that reads back.
            for (int d = 0; d <= 20; ++d) {
                auto q = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, d);
                std::string t(buf, q.ptr);
                if (*parseStrict(t) == value) {
                    s = t;
                    break;
                }
            }
        }
    }
    return s;
}

std::string integer(long long value)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

namespace {

// Length of the number at the start of s (no blanks), 0 when none.
std::size_t scanNumber(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        std::size_t ed = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j, ++ed;
        if (ed > 0) i = j;
    }
    return i;
}

// Value of a text that scanNumber accepted in full: no copy, from_chars on the text itself
// (it takes ".5" and "5." but no "+").
double convert(std::string_view s)
{
    bool neg = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    double v = 0.0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large: infinity; too small: zero.
        const std::size_t e = s.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < s.size() && s[e + 1] == '-';
        v = tiny ? 0.0 : HUGE_VAL;
    }
    return neg ? -v : v;
}

std::string_view trimmed(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

}  // namespace

std::optional<double> parseStrict(std::string_view text)
{
    const std::string_view t = trimmed(text);
    if (t.empty()) return std::nullopt;
    const std::size_t n = scanNumber(t);
    if (n == 0 || n != t.size()) return std::nullopt;
    return convert(t);
}

double parseLenient(std::string_view text, std::size_t* consumed)
{
    std::size_t b = 0;
    while (b < text.size() && (text[b] == ' ' || text[b] == '\t')) ++b;
    const std::size_t n = scanNumber(text.substr(b));
    if (consumed) *consumed = n == 0 ? 0 : b + n;
    if (n == 0) return 0.0;
    return convert(text.substr(b, n));
}

std::optional<long long> parseIntStrict(std::string_view text)
{
    const std::string_view t = trimmed(text);
    if (t.empty()) return std::nullopt;
    long long v = 0;
    const char* first = t.data();
    if (*first == '+') ++first;
    auto r = std::from_chars(first, t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return std::nullopt;
    return v;
}

}  // namespace mvx::num
