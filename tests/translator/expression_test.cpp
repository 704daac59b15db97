// Evaluator: values and error codes of parameter expressions, precedence, token list.
#include "translator/expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using mvx::TExpression;

constexpr long double kPi = 3.14159265358979323846264338327950288L;

struct ExprCase {
    const char* Text;
    long double Value;  // expected when Error is 0
    int Error;
};

std::ostream& operator<<(std::ostream& os, const ExprCase& c) { return os << '"' << c.Text << '"'; }

class ExpressionCase : public ::testing::TestWithParam<ExprCase> {};

TEST_P(ExpressionCase, ValueOrError)
{
    const ExprCase& c = GetParam();
    TExpression ex;
    const bool parsed = ex.Parse(c.Text);
    const long double v = ex.Evaluate();
    if (c.Error == 0) {
        EXPECT_TRUE(parsed);
        EXPECT_EQ(ex.ErrorCode(), 0);
        EXPECT_NEAR(static_cast<double>(v), static_cast<double>(c.Value),
                    1e-12 * std::max(1.0, std::fabs(static_cast<double>(c.Value))));
    } else {
        EXPECT_EQ(ex.ErrorCode(), c.Error);
        EXPECT_EQ(static_cast<double>(v), 0.0) << "an error never yields a value";
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExpressionCase, ::testing::Values(
    ExprCase{"2+3*4", 14, 0},
    ExprCase{"2^3^2", 64, 0},          // left-associative
    ExprCase{"-2^2", 4, 0},            // unary minus binds tightest
    ExprCase{"2^-1", 0.5, 0},
    ExprCase{"10-4+3", 9, 0},
    ExprCase{"7/2*2", 7, 0},
    ExprCase{"2pi", 2 * kPi, 0},
    ExprCase{"3(1+1)", 6, 0},
    ExprCase{"(1+1)(2)", 4, 0},
    ExprCase{"1.5e3", 1500, 0},
    ExprCase{"2e-3", 0.002, 0},
    ExprCase{"1,5", 1.5, 0},
    ExprCase{"--3", 3, 0},
    ExprCase{"5+-2", 3, 0},
    ExprCase{"7%3", 1, 0},
    ExprCase{"mod(7;3)", 1, 0},
    ExprCase{"-7%3", 2, 0},
    ExprCase{"5%0", 0, 100},
    ExprCase{"5 mod 3", 0, 9},
    ExprCase{"somme(1;2;3)", 6, 0},
    ExprCase{"max(2;5)", 5, 0},
    ExprCase{"logn(2;8)", 3, 0},
    ExprCase{"sqrt(0)", 0, 0},
    ExprCase{"sqrt(-1)", 0, 103},
    ExprCase{"ln(0)", 0, 103},
    ExprCase{"x+1", 0, 4},
    ExprCase{"1+(2", 0, 6},
    ExprCase{"", 0, 0}));

INSTANTIATE_TEST_SUITE_P(Precedence, ExpressionCase, ::testing::Values(
    ExprCase{"-3^2", 9, 0},
    ExprCase{"2*-3^2", 18, 0},
    ExprCase{"-(3^2)", -9, 0},
    ExprCase{"2-3*4", -10, 0},
    ExprCase{"2*3^2", 18, 0},
    ExprCase{"8/2/2", 2, 0},
    ExprCase{"2(3)4", 24, 0},
    ExprCase{"2 pi", 2 * kPi, 0},
    ExprCase{"PI", kPi, 0},
    ExprCase{"1-(-2)", 3, 0},
    ExprCase{"+-+3", -3, 0},
    ExprCase{"2^-+1", 0.5, 0},
    ExprCase{"[1+2]*{2}", 6, 0},
    ExprCase{"somme(somme(1;2);3)", 6, 0},
    ExprCase{"somme(5)", 5, 0},
    ExprCase{"max(1+2;-1)", 3, 0}));

INSTANTIATE_TEST_SUITE_P(ExponentMark, ExpressionCase, ::testing::Values(
    ExprCase{"1.5E+3", 1500, 0},
    ExprCase{"2e3e1", 2e4, 0},    // 2 * 10^3 * 10^1
    ExprCase{"exp(0)", 1, 0},     // "exp" is a function, not a mark
    ExprCase{"2e", 0, 8},         // mark with nothing after it
    ExprCase{"e3", 0, 8},         // mark with nothing before it
    ExprCase{"e_1", 0, 4}));      // a name, unknown

INSTANTIATE_TEST_SUITE_P(BadText, ExpressionCase, ::testing::Values(
    ExprCase{"2+", 0, 8},
    ExprCase{"*2", 0, 8},
    ExprCase{"+", 0, 8},
    ExprCase{"2*/3", 0, 8},
    ExprCase{"sin", 0, 9},
    ExprCase{"sin 3", 0, 9},
    ExprCase{"sin+3", 0, 9},
    ExprCase{"(", 0, 6},
    ExprCase{")1(", 0, 13},
    ExprCase{";1", 0, 13},
    ExprCase{"1)+(2", 0, 6},   // balanced count, reversed order
    ExprCase{"1;2", 0, 6},     // separator outside any bracket
    ExprCase{"(1+)", 0, 11},
    ExprCase{"max(1;)", 0, 11},
    ExprCase{"max(;1)", 0, 12},
    ExprCase{"1;", 0, 12},
    ExprCase{"1..2", 0, 5},
    ExprCase{".", 0, 5},
    ExprCase{"1$", 0, 1},
    ExprCase{"max(1;2;3)", 0, 10},  // would leave a stray value
    ExprCase{"sin(1;2)", 0, 10},
    ExprCase{"sin()", 0, 10}));

INSTANTIATE_TEST_SUITE_P(Functions, ExpressionCase, ::testing::Values(
    ExprCase{"cos(0)", 1, 0},
    ExprCase{"sin(pi/2)", 1, 0},
    ExprCase{"tan(0)", 0, 0},
    ExprCase{"log(1000)", 3, 0},
    ExprCase{"log(-1)", 0, 103},
    ExprCase{"asin(1)", kPi / 2, 0},
    ExprCase{"acos(2)", 0, 103},
    ExprCase{"atan(1)", kPi / 4, 0},
    ExprCase{"sqr(3)", 9, 0},
    ExprCase{"int(-2.7)", -2, 0},
    ExprCase{"frac(-2.75)", -0.75, 0},
    ExprCase{"abs(-3)", 3, 0},
    ExprCase{"ceil(-2.5)", -2, 0},
    ExprCase{"floor(-2.5)", -3, 0},
    ExprCase{"fix(2.7)", 2, 0},
    ExprCase{"fup(2.1)", 3, 0},
    ExprCase{"ldexp(1;3)", 8, 0},
    ExprCase{"lnxp1(0)", 0, 0},
    ExprCase{"lnxp1(-1)", 0, 103},
    ExprCase{"min(2;5)", 2, 0},
    ExprCase{"round(2.5)", 2, 0},
    ExprCase{"round(3.5)", 4, 0},
    ExprCase{"round(-2.5)", -2, 0},
    ExprCase{"neg(3)", -3, 0},
    ExprCase{"logn(1;8)", 0, 102},
    ExprCase{"logn(-2;8)", 0, 102},
    ExprCase{"logn(2;0)", 0, 102},
    ExprCase{"(-8)^0.5", 0, 101},
    ExprCase{"(-2)^3", -8, 0},
    ExprCase{"1/0", 0, 100},
    ExprCase{"5%-1", 0, 100}));

// Results that are not finite numbers, and conversions to integers out of range.
INSTANTIATE_TEST_SUITE_P(InvalidOperation, ExpressionCase, ::testing::Values(
    ExprCase{"0^-1", 0, 104},
    ExprCase{"exp(100000)", 0, 104},
    ExprCase{"10^5000", 0, 104},
    ExprCase{"sqr(1e3000)", 0, 104},
    ExprCase{"floor(1e10)", 0, 104},
    ExprCase{"ceil(-1e10)", 0, 104},
    ExprCase{"round(1e19)", 0, 104},
    ExprCase{"ldexp(1;1e10)", 0, 104},
    ExprCase{"ldexp(1;20000)", 0, 104}));

TEST(Expression, ResultAfterUnknownNameIsZero)
{
    TExpression ex;
    ASSERT_TRUE(ex.Parse("x+1"));
    EXPECT_EQ(static_cast<double>(ex.Evaluate()), 0.0);
    EXPECT_EQ(ex.ErrorCode(), 4);
    EXPECT_EQ(static_cast<double>(ex.Result()), 0.0);
}

TEST(Expression, EvaluateAfterFailedParseKeepsTheError)
{
    TExpression ex;
    EXPECT_FALSE(ex.Parse("1+(2"));
    EXPECT_EQ(static_cast<double>(ex.Evaluate()), 0.0);
    EXPECT_EQ(ex.ErrorCode(), 6);
}

TEST(Expression, VariablesAreCaseInsensitiveAndPersist)
{
    TExpression ex;
    ex.Constants().SetValue("Depth", 6.0L);
    ASSERT_TRUE(ex.Parse("-DEPTH*2"));
    EXPECT_EQ(static_cast<double>(ex.Evaluate()), -12.0);
    ASSERT_TRUE(ex.Parse("#depth+1"));  // the "#" form names the same parameter
    EXPECT_EQ(static_cast<double>(ex.Evaluate()), 7.0);
}

TEST(Expression, EvaluateCanRepeat)
{
    TExpression ex;
    ASSERT_TRUE(ex.Parse("a*2"));
    ex.Constants().SetValue("a", 1.0L);
    EXPECT_EQ(static_cast<double>(ex.Evaluate()), 2.0);
    ex.Constants().SetValue("a", 4.0L);
    EXPECT_EQ(static_cast<double>(ex.Evaluate()), 8.0);
}

TEST(Expression, LongDoublePrecision)
{
    TExpression ex;
    ASSERT_TRUE(ex.Parse("(1+2^-60)-1"));
    EXPECT_GT(ex.Evaluate(), 0.0L) << "64-bit mantissa keeps 2^-60";
}

TEST(Expression, ErrorTexts)
{
    EXPECT_EQ(mvx::EvalErrorText(1), "Caractère inconnu");
    EXPECT_EQ(mvx::EvalErrorText(6), "Nombre différent de parenthèses ouvrantes et fermantes");
    EXPECT_EQ(mvx::EvalErrorText(10), "Pas assez de paramètres");
    EXPECT_EQ(mvx::EvalErrorText(13), "Symbole interdit en début d'expression");
    EXPECT_EQ(mvx::EvalErrorText(100), "Division par zéro");
    EXPECT_EQ(mvx::EvalErrorText(104), "Op invalide");
}

TEST(Expression, OperatorLookup)
{
    EXPECT_EQ(mvx::FindOperator("somme"), 33);
    EXPECT_EQ(mvx::FindOperator("neg"), 8);
    EXPECT_EQ(mvx::FindOperator("sqr"), 19);
    EXPECT_EQ(mvx::FindOperator("sqrt"), 18);
    EXPECT_EQ(mvx::FindOperator("nope"), 0);
    EXPECT_EQ(mvx::OperatorPriority(8), 4);
    EXPECT_EQ(mvx::OperatorPriority(1), 3);
    EXPECT_EQ(mvx::OperatorTable(33).Operands, -1);
}

TEST(Pile, ListAndStackOperations)
{
    mvx::TPile p;
    auto num = [](long double v) { return mvx::ExprToken{v, 0, mvx::TokenKind::Number, {}}; };
    EXPECT_EQ(p.Add(num(1)), 0);
    EXPECT_EQ(p.Insert(-5, num(0)), 0);  // clamped to the front
    EXPECT_EQ(p.Insert(99, num(3)), 2);  // clamped to the end
    EXPECT_EQ(p.Insert(2, num(2)), 2);
    ASSERT_EQ(p.Count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(static_cast<double>(p.Get(i).Value), i);
    EXPECT_EQ(p.Get(9).Kind, mvx::TokenKind::None);
    p.Put(9, num(7));  // outside: nothing
    p.Delete(99);      // clamped: the last one
    EXPECT_EQ(static_cast<double>(p.Peek().Value), 2.0);
    EXPECT_EQ(static_cast<double>(p.Pop().Value), 2.0);
    EXPECT_EQ(p.Count(), 2);
    p.Clear();
    EXPECT_EQ(p.Pop().Kind, mvx::TokenKind::None);
}

TEST(Constante, TableOperations)
{
    mvx::TConstante t;
    EXPECT_EQ(t.Count(), 1);
    EXPECT_EQ(t.Find("PI"), 0);
    EXPECT_EQ(t.Add("Feed", 2.0L), 1);
    EXPECT_EQ(t.Add("FEED", 9.0L), 1);  // known: value unchanged
    long double v = 0;
    ASSERT_TRUE(t.GetValue("feed", v));
    EXPECT_EQ(static_cast<double>(v), 2.0);
    t.SetValue("feed", 3.0L);
    ASSERT_TRUE(t.GetValue("Feed", v));
    EXPECT_EQ(static_cast<double>(v), 3.0);
    EXPECT_FALSE(t.GetValue("x", v));
    t.Reset();
    EXPECT_EQ(t.Count(), 1);
    EXPECT_EQ(t.Find("feed"), -1);
}

}  // namespace
