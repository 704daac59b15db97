#include "expression.h"

#include "numtext.h"
#include "texts.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace mvx {

namespace {

// Priority and operand count per code, in code order.
constexpr std::array<OperatorRow, 34> kOperatorRows{{
    {0, 0},                                  // 0 none
    {3, 2}, {2, 2}, {2, 2}, {1, 2}, {1, 2},  // ^ * / + -
    {2, 2}, {2, 2},                          // % mod
    {4, 1},                                  // neg
    {0, 1}, {0, 1}, {0, 1},                  // cos sin tan
    {0, 1}, {0, 1},                          // log ln
    {0, 1}, {0, 1}, {0, 1},                  // asin acos atan
    {0, 1}, {0, 1}, {0, 1},                  // exp sqrt sqr
    {0, 2},                                  // logn
    {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1},  // int frac abs ceil floor
    {0, 2},                                  // ldexp
    {0, 1},                                  // lnxp1
    {0, 2}, {0, 2},                          // max min
    {0, 1}, {0, 1}, {0, 1},                  // round fix fup
    {0, -1},                                 // somme
}};

struct NamedOperator {
    std::string_view Name;
    std::uint8_t Code;
};

constexpr NamedOperator kNames[] = {
    {"neg", OpNeg},     {"^", OpPow},      {"*", OpMul},     {"/", OpDiv},     {"+", OpAdd},
    {"-", OpSub},       {"%", OpPercent},  {"mod", OpMod},   {"cos", OpCos},   {"sin", OpSin},
    {"tan", OpTan},     {"log", OpLog},    {"ln", OpLn},     {"asin", OpAsin}, {"acos", OpAcos},
    {"atan", OpAtan},   {"exp", OpExp},    {"sqrt", OpSqrt}, {"sqr", OpSqr},   {"logn", OpLogn},
    {"int", OpInt},     {"frac", OpFrac},  {"abs", OpAbs},   {"ceil", OpCeil}, {"floor", OpFloor},
    {"ldexp", OpLdexp}, {"lnxp1", OpLnxp1}, {"max", OpMax},  {"min", OpMin},   {"round", OpRound},
    {"fix", OpFix},     {"fup", OpFup},    {"somme", OpSomme},
};

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerText(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

ExprToken makeOperator(std::uint8_t code) { return ExprToken{0.0L, code, TokenKind::Operator, {}}; }
ExprToken makeNumber(long double v) { return ExprToken{v, 0, TokenKind::Number, {}}; }
ExprToken makeKind(TokenKind kind) { return ExprToken{0.0L, 0, kind, {}}; }

bool isValueLike(TokenKind k)
{
    return k == TokenKind::Number || k == TokenKind::CloseBracket || k == TokenKind::Name;
}

// Halves go to the even neighbour.
long double roundHalfEven(long double x)
{
    const long double f = std::floor(x);
    const long double d = x - f;
    if (d < 0.5L) return f;
    if (d > 0.5L) return f + 1.0L;
    return std::fmod(f, 2.0L) == 0.0L ? f : f + 1.0L;
}

bool fitsInt32(long double v)
{
    return v >= static_cast<long double>(std::numeric_limits<std::int32_t>::min()) &&
           v <= static_cast<long double>(std::numeric_limits<std::int32_t>::max());
}

bool fitsInt64(long double v)
{
    // 2^63 is exactly representable; the range is [-2^63, 2^63).
    return v >= -9223372036854775808.0L && v < 9223372036854775808.0L;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string EvalErrorText(int code)
{
    std::string key = "StringMath";
    if (code < 10) key += '0';
    key += num::integer(code);
    return texts::get(key);
}

const OperatorRow& OperatorTable(std::uint8_t code)
{
    return kOperatorRows[code < kOperatorRows.size() ? code : 0];
}

std::uint8_t FindOperator(std::string_view name)
{
    for (auto it = std::rbegin(kNames); it != std::rend(kNames); ++it)
        if (it->Name == name) return it->Code;
    return OpNone;
}

std::uint8_t OperatorPriority(std::uint8_t code) { return OperatorTable(code).Priority; }

// ---------------------------------------------------------------------------------------------

ExprToken TPile::Get(int i) const
{
    if (i < 0 || i >= Count()) return {};
    return mItems[static_cast<std::size_t>(i)];
}

void TPile::Put(int i, const ExprToken& token)
{
    if (i < 0 || i >= Count()) return;
    mItems[static_cast<std::size_t>(i)] = token;
}

int TPile::Add(ExprToken token)
{
    mItems.push_back(std::move(token));
    return Count() - 1;
}

int TPile::Insert(int position, ExprToken token)
{
    if (position < 0) position = 0;
    if (position > Count()) position = Count();
    mItems.insert(mItems.begin() + position, std::move(token));
    return position;
}

void TPile::Delete(int i)
{
    if (Count() == 0) return;
    if (i > Count() - 1) i = Count() - 1;
    if (i < 0) return;
    mItems.erase(mItems.begin() + i);
}

ExprToken TPile::Pop()
{
    if (mItems.empty()) return {};
    ExprToken t = std::move(mItems.back());
    mItems.pop_back();
    return t;
}

ExprToken TPile::Peek() const { return mItems.empty() ? ExprToken{} : mItems.back(); }

// ---------------------------------------------------------------------------------------------

int TConstante::Find(std::string_view name) const
{
    const auto it = mIndex.find(lowerText(name));
    return it == mIndex.end() ? -1 : it->second;
}

bool TConstante::GetValue(std::string_view name, long double& value) const
{
    const int i = Find(name);
    if (i < 0) return false;
    value = mValues[static_cast<std::size_t>(i)];
    return true;
}

void TConstante::SetValue(std::string_view name, long double value)
{
    const int i = Find(name);
    if (i >= 0) {
        mValues[static_cast<std::size_t>(i)] = value;
        return;
    }
    Add(name, value);
}

int TConstante::Add(std::string_view name, long double value)
{
    std::string key = lowerText(name);
    const auto [it, added] = mIndex.emplace(key, Count());
    if (!added) return it->second;
    mNames.push_back(std::move(key));
    mValues.push_back(value);
    return Count() - 1;
}

void TConstante::Reset()
{
    mNames.clear();
    mValues.clear();
    mIndex.clear();
    Add("pi", 3.14159265358979323846264338327950288L);
}

// ---------------------------------------------------------------------------------------------

bool TExpression::Parse(std::string_view text)
{
    mError = 0;
    mTokens.Clear();
    mStack.clear();
    mParsed = true;
    Tokenize(text);
    if (mError == 0 && mTokens.Count() > 0 && CheckSyntax()) ToRPN();
    mParsed = mError == 0;
    if (!mParsed) mTokens.Clear();
    return mParsed;
}

long double TExpression::Evaluate()
{
    if (!mParsed) return 0.0L;
    mError = 0;
    mStack.clear();
    if (mTokens.Count() == 0) return 0.0L;
    Compute();
    if (mError != 0) return 0.0L;
    return Result();
}

long double TExpression::Result() const { return mStack.empty() ? 0.0L : mStack.front(); }

void TExpression::Tokenize(std::string_view text)
{
    std::string s = lowerText(text);
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n && mError == 0) {
        const char c = s[i];
        if (isLetter(c) || c == '#') {
            // Exponent mark, told from the next character alone (scanning the whole run first
            // would read "1e1e1e..." again and again): "e" on its own, or "e" before a digit or
            // "#". 2e-3 reads as 2 * 10 ^ -3.
            if (c == 'e') {
                const char next = i + 1 < n ? s[i + 1] : ' ';
                if (!(isLetter(next) || next == '_') || isDigit(next) || next == '#') {
                    mTokens.Add(makeOperator(OpMul));
                    mTokens.Add(makeNumber(10.0L));
                    mTokens.Add(makeOperator(OpPow));
                    i += 1;
                    continue;
                }
            }
            std::size_t j = i;
            while (j < n && (isLetter(s[j]) || isDigit(s[j]) || s[j] == '_' || s[j] == '#')) ++j;
            const std::string_view name(s.data() + i, j - i);
            if (const std::uint8_t code = FindOperator(name); code != OpNone) {
                mTokens.Add(ExprToken{0.0L, code, TokenKind::Function, {}});
            } else {
                // "#12" and "12" name the same parameter: assignments store names without "#".
                std::size_t h = 0;
                while (h < name.size() && name[h] == '#') ++h;
                mTokens.Add(ExprToken{0.0L, 0, TokenKind::Name, std::string(name.substr(h))});
            }
            i = j;
            continue;
        }
        switch (c) {
        case '%': mTokens.Add(makeOperator(OpPercent)); ++i; continue;
        case '*': mTokens.Add(makeOperator(OpMul)); ++i; continue;
        case '/': mTokens.Add(makeOperator(OpDiv)); ++i; continue;
        case '^': mTokens.Add(makeOperator(OpPow)); ++i; continue;
        case '(': case '[': case '{': mTokens.Add(makeKind(TokenKind::OpenBracket)); ++i; continue;
        case ')': case ']': case '}': mTokens.Add(makeKind(TokenKind::CloseBracket)); ++i; continue;
        case ';': mTokens.Add(makeKind(TokenKind::Separator)); ++i; continue;
        case ' ': ++i; continue;
        case '+':
        case '-':
            if (i + 1 < n && (s[i + 1] == '+' || s[i + 1] == '-')) {
                // Two signs fold into one: -+ and +- give -, -- and ++ give +.
                if (c == '-') s[i + 1] = s[i + 1] == '+' ? '-' : '+';
                ++i;
                continue;
            }
            mTokens.Add(makeOperator(c == '+' ? OpAdd : OpSub));
            ++i;
            continue;
        default: break;
        }
        if (isDigit(c) || c == '.') {
            std::size_t j = i;
            std::string number;
            int dots = 0;
            bool digits = false;
            while (j < n && (isDigit(s[j]) || s[j] == '.' || s[j] == ',')) {
                const char d = s[j] == ',' ? '.' : s[j];
                if (d == '.') ++dots; else digits = true;
                number += d;
                ++j;
            }
            if (dots > 1 || !digits) {
                Fail(EvalBadNumber);
                return;
            }
            if (number.front() == '.') number.insert(number.begin(), '0');
            if (number.back() == '.') number += '0';
            const auto v = num::parseStrict(number);
            if (!v) {
                Fail(EvalBadNumber);
                return;
            }
            mTokens.Add(makeNumber(static_cast<long double>(*v)));
            i = j;
            continue;
        }
        Fail(EvalUnknownChar);
        return;
    }
}

bool TExpression::CheckSyntax()
{
    int depth = 0;
    for (int i = 0; i < mTokens.Count(); ++i) {
        if (mTokens.At(i).Kind == TokenKind::OpenBracket) ++depth;
        if (mTokens.At(i).Kind == TokenKind::CloseBracket) --depth;
    }
    if (depth != 0) {
        Fail(EvalBrackets);
        return false;
    }

    // One pass into a new list: signs made unary or dropped, implicit products inserted. Each
    // token is looked at against the one kept before it, so the work stays linear.
    TPile& out = mOutput;
    out.Clear();
    for (int j = 0; j < mTokens.Count() && mError == 0; ++j) {
        ExprToken t = mTokens.At(j);
        if (out.Count() == 0) {
            // First token: a leading sign is unary.
            if (t.Kind == TokenKind::Operator) {
                if (t.Code == OpSub) t.Code = OpNeg;
                else if (t.Code == OpAdd) continue;
                else Fail(EvalMisplacedOperator);
            } else if (t.Kind == TokenKind::CloseBracket || t.Kind == TokenKind::Separator) {
                Fail(EvalBadStart);
            }
            if (mError == 0) out.Add(std::move(t));
            continue;
        }
        const TokenKind prev = out.At(out.Count() - 1).Kind;
        switch (t.Kind) {
        case TokenKind::Number:
        case TokenKind::Name:
            if (isValueLike(prev)) out.Add(makeOperator(OpMul));  // implicit product: 2pi, (1)2
            else if (prev == TokenKind::Function) Fail(EvalFunctionNeedsBracket);
            break;
        case TokenKind::Operator:
            if (prev == TokenKind::Operator || prev == TokenKind::OpenBracket || prev == TokenKind::Separator) {
                if (t.Code == OpSub) t.Code = OpNeg;
                else if (t.Code == OpAdd) continue;
                else Fail(EvalMisplacedOperator);
            } else if (prev == TokenKind::Function) {
                Fail(EvalFunctionNeedsBracket);
            }
            break;
        case TokenKind::Function:
        case TokenKind::OpenBracket:
            if (isValueLike(prev)) out.Add(makeOperator(OpMul));
            break;
        case TokenKind::CloseBracket:
            if (prev == TokenKind::Operator || prev == TokenKind::Separator) Fail(EvalCloseAfterOperator);
            else if (prev == TokenKind::Function) Fail(EvalFunctionNeedsBracket);
            break;
        case TokenKind::Separator:
            if (prev == TokenKind::Operator || prev == TokenKind::OpenBracket || prev == TokenKind::Separator)
                Fail(EvalMisplacedSeparator);
            else if (prev == TokenKind::Function)
                Fail(EvalFunctionNeedsBracket);
            break;
        default: break;
        }
        if (mError == 0) out.Add(std::move(t));
    }
    if (mError != 0) return false;
    std::swap(mTokens, out);
    if (mTokens.Count() == 0) {  // signs only
        Fail(EvalMisplacedOperator);
        return false;
    }

    switch (mTokens.At(mTokens.Count() - 1).Kind) {
    case TokenKind::Operator: Fail(EvalMisplacedOperator); return false;
    case TokenKind::Function: Fail(EvalFunctionNeedsBracket); return false;
    case TokenKind::OpenBracket: Fail(EvalBrackets); return false;
    case TokenKind::Separator: Fail(EvalMisplacedSeparator); return false;
    default: break;
    }

    return CheckArguments();
}

// Every function against its bracket, in one pass over the list: a fixed-count function given
// the wrong number of arguments would leave stray values on the stack (max(1;2;3)) or take one
// from outside its brackets; "somme" gets its count as a last argument (somme(1;2;3) becomes
// somme(1;2;3;3)).
bool TExpression::CheckArguments()
{
    const int n = mTokens.Count();
    // For each open bracket: its close and its argument count; -1 while unmatched.
    std::vector<int> close(static_cast<std::size_t>(n), -1);
    std::vector<int> arguments(static_cast<std::size_t>(n), 0);
    std::vector<int> open;        // indices of the open brackets not closed yet
    std::vector<int> separators;  // separators seen directly inside each of them
    for (int i = 0; i < n; ++i) {
        const TokenKind k = mTokens.At(i).Kind;
        if (k == TokenKind::OpenBracket) {
            open.push_back(i);
            separators.push_back(0);
        } else if (k == TokenKind::Separator && !separators.empty()) {
            ++separators.back();
        } else if (k == TokenKind::CloseBracket && !open.empty()) {
            const auto o = static_cast<std::size_t>(open.back());
            close[o] = i;
            arguments[o] = i == open.back() + 1 ? 0 : separators.back() + 1;
            open.pop_back();
            separators.pop_back();
        }
    }

    // Fixed counts first, then the variable ones, each in list order.
    bool variable = false;
    for (int f = 0; f + 1 < n; ++f) {
        const ExprToken& t = mTokens.At(f);
        if (t.Kind != TokenKind::Function) continue;
        const int operands = OperatorTable(t.Code).Operands;
        if (operands < 0) {
            variable = true;
            continue;
        }
        if (mTokens.At(f + 1).Kind != TokenKind::OpenBracket) continue;
        const auto o = static_cast<std::size_t>(f + 1);
        if (close[o] < 0) {
            Fail(EvalBrackets);
            return false;
        }
        if (arguments[o] != operands) {
            Fail(EvalTooFewValues);
            return false;
        }
    }
    if (!variable) return true;

    // Close bracket index -> count to insert before it.
    std::vector<int> countBefore(static_cast<std::size_t>(n), -1);
    for (int f = 0; f < n; ++f) {
        const ExprToken& t = mTokens.At(f);
        if (t.Kind != TokenKind::Function || OperatorTable(t.Code).Operands >= 0) continue;
        if (f + 1 >= n || mTokens.At(f + 1).Kind != TokenKind::OpenBracket) {
            Fail(EvalFunctionNeedsBracket);
            return false;
        }
        const auto o = static_cast<std::size_t>(f + 1);
        if (close[o] < 0) {
            Fail(EvalBrackets);
            return false;
        }
        countBefore[static_cast<std::size_t>(close[o])] = arguments[o];
    }
    TPile& out = mOutput;
    out.Clear();
    for (int i = 0; i < n; ++i) {
        if (const int c = countBefore[static_cast<std::size_t>(i)]; c >= 0) {
            out.Add(makeKind(TokenKind::Separator));
            out.Add(makeNumber(static_cast<long double>(c)));
        }
        out.Add(mTokens.At(i));
    }
    std::swap(mTokens, out);
    return true;
}

void TExpression::ToRPN()
{
    // Reused between parses: a conversion parses many short expressions.
    TPile& output = mOutput;
    TPile& stack = mOpStack;
    output.Clear();
    stack.Clear();
    for (int i = 0; i < mTokens.Count(); ++i) {
        const ExprToken& t = mTokens.At(i);
        switch (t.Kind) {
        case TokenKind::Number:
        case TokenKind::Name: output.Add(t); break;
        case TokenKind::Operator:
            // Ties pop too: every operator is left-associative, "^" included.
            while (stack.Count() > 0 && stack.At(stack.Count() - 1).Kind == TokenKind::Operator &&
                   OperatorPriority(stack.At(stack.Count() - 1).Code) >= OperatorPriority(t.Code))
                output.Add(stack.Pop());
            stack.Push(t);
            break;
        case TokenKind::Function:
        case TokenKind::OpenBracket: stack.Push(t); break;
        case TokenKind::CloseBracket:
            while (stack.Count() > 0 && stack.At(stack.Count() - 1).Kind != TokenKind::OpenBracket)
                output.Add(stack.Pop());
            if (stack.Count() == 0) {
                Fail(EvalBrackets);
                return;
            }
            stack.Pop();
            if (stack.Count() > 0 && stack.At(stack.Count() - 1).Kind == TokenKind::Function)
                output.Add(stack.Pop());
            break;
        case TokenKind::Separator:
            while (stack.Count() > 0 && stack.At(stack.Count() - 1).Kind != TokenKind::OpenBracket)
                output.Add(stack.Pop());
            if (stack.Count() == 0) {
                Fail(EvalBrackets);
                return;
            }
            break;
        default: break;
        }
    }
    while (stack.Count() > 0) {
        if (stack.At(stack.Count() - 1).Kind == TokenKind::OpenBracket) {
            Fail(EvalBrackets);
            return;
        }
        output.Add(stack.Pop());
    }
    std::swap(mTokens, output);
}

void TExpression::Compute()
{
    mStack.clear();
    for (int i = 0; i < mTokens.Count() && mError == 0; ++i) {
        const ExprToken& t = mTokens.At(i);
        switch (t.Kind) {
        case TokenKind::Number: mStack.push_back(t.Value); break;
        case TokenKind::Name: {
            long double v = 0.0L;
            if (!mConstants.GetValue(t.Text, v)) {
                Fail(EvalUnknownName);
                return;
            }
            mStack.push_back(v);
            break;
        }
        case TokenKind::Operator:
        case TokenKind::Function: Apply(t); break;
        default: break;
        }
    }
    if (mError == 0 && mStack.size() != 1) Fail(EvalTooFewValues);
}

void TExpression::Apply(const ExprToken& token)
{
    const int operands = OperatorTable(token.Code).Operands;
    if (operands > 0 && mStack.size() < static_cast<std::size_t>(operands)) {
        Fail(EvalTooFewValues);
        return;
    }
    auto pop = [this] {
        const long double v = mStack.back();
        mStack.pop_back();
        return v;
    };

    long double r = 0.0L;
    if (operands < 0) {  // somme: the count comes last
        if (mStack.empty()) {
            Fail(EvalTooFewValues);
            return;
        }
        const long double c = roundHalfEven(pop());
        if (!(c >= 0.0L) || !fitsInt64(c)) {
            Fail(EvalInvalidOp);
            return;
        }
        auto count = static_cast<std::size_t>(c);
        for (; count > 0 && !mStack.empty(); --count) r += pop();
    } else if (operands == 1) {
        const long double x = pop();
        switch (token.Code) {
        case OpNeg: r = -x; break;
        case OpCos: r = std::cos(x); break;
        case OpSin: r = std::sin(x); break;
        case OpTan: r = std::tan(x); break;
        case OpLog:
        case OpLn:
            if (x <= 0.0L) return Fail(EvalDomain);
            r = token.Code == OpLog ? std::log10(x) : std::log(x);
            break;
        case OpAsin:
        case OpAcos:
            if (x < -1.0L || x > 1.0L) return Fail(EvalDomain);
            r = token.Code == OpAsin ? std::asin(x) : std::acos(x);
            break;
        case OpAtan: r = std::atan(x); break;
        case OpExp: r = std::exp(x); break;
        case OpSqrt:
            if (x < 0.0L) return Fail(EvalDomain);
            r = std::sqrt(x);
            break;
        case OpSqr: r = x * x; break;
        case OpInt: r = std::trunc(x); break;
        case OpFrac: r = x - std::trunc(x); break;
        case OpAbs: r = std::fabs(x); break;
        case OpCeil:
        case OpFup:
        case OpFloor:
        case OpFix:
            r = (token.Code == OpCeil || token.Code == OpFup) ? std::ceil(x) : std::floor(x);
            if (!fitsInt32(r)) return Fail(EvalInvalidOp);
            break;
        case OpLnxp1:
            if (x <= -1.0L) return Fail(EvalDomain);
            r = std::log1p(x);
            break;
        case OpRound:
            r = roundHalfEven(x);
            if (!fitsInt64(r)) return Fail(EvalInvalidOp);
            break;
        default: return Fail(EvalInvalidOp);
        }
    } else {
        const long double b = pop();
        const long double a = pop();
        switch (token.Code) {
        case OpPow:
            if (a < 0.0L && b != std::trunc(b)) return Fail(EvalFractionalExponent);
            r = std::pow(a, b);
            break;
        case OpMul: r = a * b; break;
        case OpDiv:
            if (b == 0.0L) return Fail(EvalDivisionByZero);
            r = a / b;
            break;
        case OpAdd: r = a + b; break;
        case OpSub: r = a - b; break;
        case OpPercent:
        case OpMod:
            if (b <= 0.0L) return Fail(EvalDivisionByZero);
            r = a - b * std::floor(a / b);
            break;
        case OpLogn: {
            if (a <= 0.0L || b <= 0.0L) return Fail(EvalBadLogn);
            const long double lb = std::log(a);
            if (lb == 0.0L) return Fail(EvalBadLogn);
            r = std::log(b) / lb;
            break;
        }
        case OpLdexp: {
            const long double n = roundHalfEven(b);
            if (!fitsInt32(n)) return Fail(EvalInvalidOp);
            r = std::ldexp(a, static_cast<int>(n));
            break;
        }
        case OpMax: r = a > b ? a : b; break;
        case OpMin: r = a < b ? a : b; break;
        default: return Fail(EvalInvalidOp);
        }
    }
    // Overflow, 0^-1 and the like: never let an infinity or a NaN reach a coordinate.
    if (!std::isfinite(r)) return Fail(EvalInvalidOp);
    mStack.push_back(r);
}

}  // namespace mvx
