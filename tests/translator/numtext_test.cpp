// Number text: one formatter, a strict and a lenient parser, whatever the locale.
#include "translator/numtext.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

using namespace mvx;

namespace {

struct FixedRow {
    double value;
    int decimals;
    int precision;
    const char* text;
};

const FixedRow kFixed[] = {
    {0.0, 4, 15, "0.0000"},
    {-0.0, 4, 15, "0.0000"},           // negative zero prints without the minus
    {-0.00001, 4, 15, "0.0000"},       // so does a value that rounds to zero
    {1.5, 0, 15, "2"},
    {2.5, 0, 15, "3"},                 // exact halves go away from zero
    {-2.5, 0, 15, "-3"},
    {0.125, 2, 15, "0.13"},
    {-0.125, 2, 15, "-0.13"},
    {0.375, 2, 15, "0.38"},
    {1.005, 2, 15, "1.00"},            // 1.005 is just below the half in binary
    {10.0, 3, 15, "10.000"},
    {-180.0, 3, 15, "-180.000"},
    {1.0 / 3.0, 13, 12, "0.3333333333330"},
    {2.0 / 3.0, 13, 12, "0.6666666666670"},
    {-2.5, 13, 12, "-2.5000000000000"},
    {123456.789, 13, 12, "123456.7890000000000"},
    {0.05, 6, 15, "0.050000"},
    {9.99995, 4, 15, "10.0000"},
    {1e20, 2, 15, "100000000000000000000.00"},
    {12345678.123456789, 4, 12, "12345678.1235"},
};


class NumberTable : public ::testing::TestWithParam<FixedRow> {};

}  // namespace

TEST_P(NumberTable, Fixed)
{
    const FixedRow& r = GetParam();
    EXPECT_EQ(num::fixed(r.value, r.decimals, r.precision), r.text) << r.value;
}
INSTANTIATE_TEST_SUITE_P(Rows, NumberTable, ::testing::ValuesIn(kFixed));

TEST(NumText, NonFinite)
{
    EXPECT_EQ(num::fixed(std::numeric_limits<double>::quiet_NaN(), 4), "NAN");
    EXPECT_EQ(num::fixed(-HUGE_VAL, 4), "-INF");
}

TEST(NumText, General)
{
    EXPECT_EQ(num::general(12.5), "12.5");
    EXPECT_EQ(num::general(100.0), "100");
    EXPECT_EQ(num::general(0.0872664626), "0.0872664626");
    EXPECT_EQ(num::general(-0.0), "0");
    EXPECT_EQ(num::general(1200000.0), "1200000");
    EXPECT_EQ(num::general(0.1 + 0.2), "0.3");  // 15 significant digits at most
    EXPECT_EQ(num::general(1.0 / 3.0), "0.333333333333333");
}

TEST(NumText, Strict)
{
    struct Row {
        const char* text;
        bool valid;
        double value;
    } rows[] = {
        {"12.5", true, 12.5}, {" -3 ", true, -3}, {"+.5", true, 0.5}, {"1e3", true, 1000}, {"2.", true, 2},
        {"1,5", false, 0},    {"", false, 0},     {"abc", false, 0},  {"1e", false, 0},   {"12.5mm", false, 0},
        {".", false, 0},      {"- 1", false, 0},  {"1e400", true, HUGE_VAL},
    };
    for (const Row& r : rows) {
        auto v = num::parseStrict(r.text);
        EXPECT_EQ(v.has_value(), r.valid) << r.text;
        if (v && r.valid) {
            EXPECT_EQ(*v, r.value) << r.text;
        }
    }
}

TEST(NumText, Lenient)
{
    std::size_t used = 0;
    EXPECT_EQ(num::parseLenient("12.5 /H", &used), 12.5);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(num::parseLenient("20mm", &used), 20.0);
    EXPECT_EQ(num::parseLenient("abc", &used), 0.0);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(num::parseLenient("1e", &used), 1.0);  // a bare exponent mark ends the number
    EXPECT_EQ(used, 1u);
    EXPECT_EQ(*num::parseIntStrict(" 42 "), 42);
    EXPECT_FALSE(num::parseIntStrict("4.2"));
    EXPECT_FALSE(num::parseIntStrict("99999999999999999999"));
}

// Under a French locale the C library would write "0,5": ours must not.
TEST(NumText, LocaleDoesNotMatter)
{
    // The test program took the locale of the environment at its start.
    if (std::getenv("LC_ALL")) {
        EXPECT_STRNE(std::setlocale(LC_NUMERIC, nullptr), "C") << "locale not installed";
    }
    EXPECT_EQ(num::fixed(0.5, 3), "0.500");
    EXPECT_EQ(*num::parseStrict("0.5"), 0.5);
    EXPECT_FALSE(num::parseStrict("0,5"));
}

// The whole run under the locale of the environment (LC_ALL=fr_FR.UTF-8 for the French run).
int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
