#pragma once
// Arithmetic evaluator for the parameter expressions of G-code lines (#name=expr and [expr]).
// Infix text -> tokens -> syntax check -> postfix (shunting-yard) -> value stack, all in
// long double. Not thread-safe: one evaluator per conversion.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mvx {

enum class TokenKind : std::uint8_t {
    None = 0,
    Number = 1,
    Operator = 2,
    Function = 3,
    OpenBracket = 5,
    CloseBracket = 6,
    Separator = 7,
    Name = 8,
};

struct ExprToken {
    long double Value = 0.0L;
    std::uint8_t Code = 0;  // operator or function code, 0 otherwise
    TokenKind Kind = TokenKind::None;
    std::string Text;  // names only
};

// Operator and function codes.
enum OpCode : std::uint8_t {
    OpNone = 0, OpPow = 1, OpMul = 2, OpDiv = 3, OpAdd = 4, OpSub = 5, OpPercent = 6, OpMod = 7,
    OpNeg = 8, OpCos = 9, OpSin = 10, OpTan = 11, OpLog = 12, OpLn = 13, OpAsin = 14, OpAcos = 15,
    OpAtan = 16, OpExp = 17, OpSqrt = 18, OpSqr = 19, OpLogn = 20, OpInt = 21, OpFrac = 22,
    OpAbs = 23, OpCeil = 24, OpFloor = 25, OpLdexp = 26, OpLnxp1 = 27, OpMax = 28, OpMin = 29,
    OpRound = 30, OpFix = 31, OpFup = 32, OpSomme = 33,
};

// Evaluator error codes (0 = none). Texts: EvalErrorText.
enum EvalError : int {
    EvalOk = 0,
    EvalUnknownChar = 1,
    EvalUnknownName = 4,
    EvalBadNumber = 5,
    EvalBrackets = 6,
    EvalMisplacedOperator = 8,
    EvalFunctionNeedsBracket = 9,
    EvalTooFewValues = 10,
    EvalCloseAfterOperator = 11,
    EvalMisplacedSeparator = 12,
    EvalBadStart = 13,
    EvalDivisionByZero = 100,
    EvalFractionalExponent = 101,
    EvalBadLogn = 102,
    EvalDomain = 103,
    EvalInvalidOp = 104,
};

// Current text of an evaluator error code (language table, French built-ins).
std::string EvalErrorText(int code);

// Row of the operator table: priority and operand count (-1: variable).
struct OperatorRow {
    std::uint8_t Priority;
    std::int8_t Operands;
};
const OperatorRow& OperatorTable(std::uint8_t code);

// Code of an operator or function name (lower case), 0 when unknown.
std::uint8_t FindOperator(std::string_view name);
std::uint8_t OperatorPriority(std::uint8_t code);

// A growable token list used both as list and as stack.
class TPile {
public:
    int Count() const noexcept { return static_cast<int>(mItems.size()); }
    ExprToken Get(int i) const;                 // empty token outside 0..Count-1
    const ExprToken& At(int i) const { return mItems[static_cast<std::size_t>(i)]; }
    void Put(int i, const ExprToken& token);    // nothing outside 0..Count-1
    int Add(ExprToken token);
    int Insert(int position, ExprToken token);  // position clamped to 0..Count
    void Delete(int i);                         // i clamped to at most Count-1
    int Push(ExprToken token) { return Add(std::move(token)); }
    ExprToken Pop();
    ExprToken Peek() const;
    void Clear() noexcept { mItems.clear(); }

private:
    std::vector<ExprToken> mItems;
};

// The variable table. Names are stored lower-cased; "pi" is always there after Reset.
class TConstante {
public:
    TConstante() { Reset(); }
    int Find(std::string_view name) const;
    bool GetValue(std::string_view name, long double& value) const;
    void SetValue(std::string_view name, long double value);
    int Add(std::string_view name, long double value);  // existing name: index, value unchanged
    void Reset();
    int Count() const noexcept { return static_cast<int>(mNames.size()); }

private:
    std::vector<std::string> mNames;
    std::vector<long double> mValues;
    // Name -> index: a program with thousands of parameters must not search them line by line.
    std::unordered_map<std::string, int> mIndex;
};

class TExpression {
public:
    // Tokenize, check and convert to postfix. An empty text is valid and computes nothing.
    // False with ErrorCode() set on the first error.
    bool Parse(std::string_view text);
    // Computes the postfix list: 0 on error (ErrorCode() set), else Result().
    // After a failed Parse nothing is computed: 0, and the parse error is kept.
    long double Evaluate();
    // Bottom of the value stack, 0 when empty. Kept after an error.
    long double Result() const;
    int ErrorCode() const noexcept { return mError; }

    TConstante& Constants() noexcept { return mConstants; }
    const TConstante& Constants() const noexcept { return mConstants; }
    const TPile& Tokens() const noexcept { return mTokens; }

private:
    void Tokenize(std::string_view text);
    bool CheckSyntax();
    void ToRPN();
    void Compute();
    bool CheckArguments();
    void Apply(const ExprToken& token);
    void Fail(int code) noexcept
    {
        if (mError == 0) mError = code;
    }

    TPile mTokens;
    TPile mOutput;   // postfix being built
    TPile mOpStack;  // operator stack of the conversion
    std::vector<long double> mStack;
    TConstante mConstants;
    int mError = 0;
    bool mParsed = true;
};

}  // namespace mvx
