// Request text, reply parsing and number writers of the controller API, without a network.
#include "golden_requests.h"
#include "link/api.h"
#include "link/apitable.h"
#include "link/apiwire.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <algorithm>
#include <set>

using namespace mvx;
using api::Value;

namespace {

TEST(ApiTable, HasEverySlotOnceWithTheUsedOnesMarked)
{
    api::InstallSocketApi();
    api::InstallSocketApi();  // a second install changes nothing
    ASSERT_TRUE(api::ApiInstalled());
    const auto& t = api::FunctionTable();
    ASSERT_EQ(t.size(), 239u);
    std::set<std::string> names;
    int used = 0;
    for (int i = 0; i < 239; ++i) {
        EXPECT_EQ(t[i].slot, i);
        EXPECT_FALSE(t[i].name.empty());
        names.insert(t[i].name);
        used += t[i].used ? 1 : 0;
    }
    EXPECT_EQ(names.size(), 239u);
    EXPECT_EQ(used, 59);
    EXPECT_EQ(api::Function(23).name, "GroupMoveAbsolute");
    EXPECT_EQ(api::Function(160).name, "PositionerMaximumVelocityAndAccelerationGet");
    EXPECT_EQ(api::Function(238).name, "TZTrackingUserMaximumZZZTargetDifferenceSet");
}

TEST(ApiTable, EveryGoldenRequestIsBuiltByteForByte)
{
    for (const auto& g : test::goldenRequests()) {
        const api::ApiFunction* f = api::FindFunction(g.function);
        ASSERT_NE(f, nullptr) << g.function;
        const auto b = api::BuildRequest(*f, g.args);
        EXPECT_EQ(b.error, 0) << g.function << ": " << b.why;
        EXPECT_EQ(b.text, g.expected) << g.function;
    }
    EXPECT_EQ(link::RequestBytes("KillAll()"), std::string("KillAll()\n\r"));
}

TEST(ApiTable, EveryCalledFunctionHasAGoldenRequest)
{
    std::set<std::string> golden;
    for (const auto& g : test::goldenRequests()) golden.insert(g.function);
    for (const auto& f : api::FunctionTable())
        if (f.used && !f.local) {
            EXPECT_TRUE(golden.count(f.name)) << f.name;
        }
}

// Arguments of the right kinds for any row (count 2 for lists).
std::vector<Value> sampleArgs(const api::ApiFunction& f)
{
    std::vector<Value> a;
    for (const auto& in : f.inputs) {
        if (in.perCount) {
            if (in.kind == api::InKind::Int)
                a.emplace_back(std::vector<long long>(2 * in.perCount, 1));
            else
                a.emplace_back(std::vector<double>(2 * in.perCount, 1.5));
            continue;
        }
        for (int k = 0; k < in.repeat; ++k) {
            switch (in.kind) {
            case api::InKind::Name:
            case api::InKind::Text: a.emplace_back(std::string("G1")); break;
            case api::InKind::Char: a.emplace_back(std::string("X")); break;
            case api::InKind::Names: a.emplace_back(std::string("A;B")); break;
            case api::InKind::GatheringTypes: a.emplace_back(std::string("A B")); break;
            case api::InKind::Bool: a.emplace_back(true); break;
            case api::InKind::Count:
            case api::InKind::CountSent: a.emplace_back(2LL); break;
            case api::InKind::Int:
            case api::InKind::Unsigned:
            case api::InKind::IntNotSent: a.emplace_back(3LL); break;
            default: a.emplace_back(0.5); break;
            }
        }
    }
    return a;
}

TEST(ApiTable, EveryRowBuildsAWellFormedRequestWithOnePlaceholderPerOutput)
{
    // Placeholders whose value the program does not read.
    const std::set<int> oneUnread = {42, 94, 202};
    for (const auto& f : api::FunctionTable()) {
        if (f.local) continue;
        const auto args = sampleArgs(f);
        const auto b = api::BuildRequest(f, args);
        ASSERT_EQ(b.error, 0) << f.name << ": " << b.why;
        EXPECT_EQ(b.text.rfind(f.name, 0), 0u) << b.text;
        EXPECT_EQ(b.text.back(), ')') << b.text;
        EXPECT_EQ(std::count(b.text.begin(), b.text.end(), '('), 1) << b.text;
        const auto stars = std::count(b.text.begin(), b.text.end(), '*');
        std::size_t outputs = 0;
        for (const auto& o : f.outputs) outputs += o.perCount ? 2 * o.perCount : o.repeat;
        EXPECT_EQ(static_cast<std::size_t>(stars), outputs + (oneUnread.count(f.slot) ? 1 : 0)) << b.text;
        EXPECT_EQ(b.text.find_first_of("\r\n"), std::string::npos);
    }
}

TEST(ApiTable, RequestsOfUnusedSlotsFollowTheirRows)
{
    struct Row {
        const char* function;
        std::vector<Value> args;
        const char* expected;
    } rows[] = {
        {"GroupHomeSearchAndRelativeMove", {Value(std::string("G")), Value(2LL), Value(std::vector<double>{0.5, 12.5})},
         "GroupHomeSearchAndRelativeMove(G,0.5000000000000,12.5000000000000)"},
        {"GroupJogParametersGet", {Value(std::string("G")), Value(2LL)},
         "GroupJogParametersGet(G,double *,double *,double *,double *)"},
        {"GroupVelocityCurrentGet", {Value(std::string("G")), Value(2LL)}, "GroupVelocityCurrentGet(G,2, double *, double *)"},
        {"PositionerCorrectorSR1AccelerationSet",
         {Value(std::string("P")), Value(true), Value(1.0), Value(2.0), Value(3.0), Value(4.0), Value(5.0), Value(6.0), Value(7.0)},
         "PositionerCorrectorSR1AccelerationSet(P,True,1.0000,2.0000,3.0000,4.0000,5.0000,6.0000,7.0000)"},
        {"GroupPositionPCORawEncoderGet", {Value(std::string("X")), Value(1.0), Value(2.0)},
         "GroupPositionPCORawEncoderGet(X,1.0000,2.0000 , double *, double *)"},
        {"GatheringExternalConfigurationSet", {Value(3LL), Value(std::string("A"))}, "GatheringExternalConfigurationSet(A)"},
        {"ElapsedTimeGet", {}, "ElapsedTimeGet(double *)"},
        {"PositionerDriverStatusStringGet", {Value(7LL)}, "PositionerDriverStatusStringGet(7 , char * )"},
    };
    for (const auto& r : rows) {
        const auto b = api::BuildRequest(*api::FindFunction(r.function), r.args);
        EXPECT_EQ(b.error, 0) << r.function << ": " << b.why;
        EXPECT_EQ(b.text, r.expected);
    }
}

TEST(ApiTable, ArgumentsThatWouldChangeTheRequestAreRefused)
{
    struct Row {
        const char* function;
        std::vector<Value> args;
    } rows[] = {
        {"GroupHomeSearch", {Value(std::string("XY)\n\rKillAll("))}},
        {"GroupHomeSearch", {Value(std::string("X,Y"))}},
        {"GroupHomeSearch", {Value(std::string("XY\r"))}},
        {"TCLScriptExecute", {Value(std::string("a.tcl")), Value(std::string("T")), Value(std::string("1\n2"))}},
        {"TCLScriptKill", {Value(std::string("T)"))}},
        {"GPIOAnalogGet", {Value(2LL), Value(std::string("A"))}},                  // fewer names than the count
        {"GPIOAnalogGet", {Value(1LL), Value(std::string("A,double *"))}},
        {"GPIOAnalogGet", {Value(13LL), Value(std::string("a;b;c;d;e;f;g;h;i;j;k;l;m"))}},
        {"GroupMoveAbsolute", {Value(std::string("XY")), Value(2LL), Value(std::vector<double>{1.0})}},
        {"GatheringConfigurationSet", {Value(1LL), Value(std::string("A,B"))}},
        {"GatheringConfigurationSet", {Value(1LL), Value(std::string(256, 'A'))}},
        {"GPIODigitalSet", {Value(std::string("D")), Value(-1LL), Value(0LL)}},
    };
    for (const auto& r : rows) {
        const auto b = api::BuildRequest(*api::FindFunction(r.function), r.args);
        EXPECT_EQ(b.error, api::kErrorBadInput) << r.function << " accepted " << b.text;
        EXPECT_FALSE(b.why.empty());
    }
    // Refused before anything is sent: no connection is needed to get the code.
    EXPECT_EQ(api::GroupHomeSearch(-1, "XY)\n\rKillAll("), api::kErrorBadInput);
    // A comma is fine in script arguments (only line breaks are refused there).
    const auto ok = api::BuildRequest(*api::FindFunction("TCLScriptExecute"),
                                      std::vector<Value>{Value(std::string("a.tcl")), Value(std::string("T")), Value(std::string("1 2"))});
    EXPECT_EQ(ok.error, 0);
}

struct WriterRow {
    double value;
    const char* f13;
    const char* f6;
    const char* f4;
    const char* e13;
    const char* g;
};

class NumberWriters : public ::testing::TestWithParam<const char*> {};

TEST_P(NumberWriters, WriteTheSameBytesInAnyLocale)
{
    if (!std::setlocale(LC_ALL, GetParam())) GTEST_SKIP() << GetParam() << " not installed";
    const WriterRow rows[] = {
        {12.5, "12.5000000000000", "12.500000", "12.5000", "12.5000000000000", "12.5"},
        {1.0 / 3, "0.3333333333330", "0.333333", "0.3333", "0.3333333333333", "0.333333333333333"},
        {-2.5, "-2.5000000000000", "-2.500000", "-2.5000", "-2.5000000000000", "-2.5"},
        {0.0, "0.0000000000000", "0.000000", "0.0000", "0.0000000000000", "0"},
        {-1e-20, "0.0000000000000", "0.000000", "0.0000", "0.0000000000000", "-1E-20"},
        {123456.789, "123456.7890000000000", "123456.789000", "123456.7890", "123456.7890000000000", "123456.789"},
        {0.1 + 0.2, "0.3000000000000", "0.300000", "0.3000", "0.3000000000000", "0.3"},
        {1e13, "1E13", "1E13", "1E13", "10000000000000.0000000000000", "10000000000000"},
        {2.25e-7, "0.0000002250000", "0.000000", "0.0000", "0.0000002250000", "2.25E-7"},
        {100, "100.0000000000000", "100.000000", "100.0000", "100.0000000000000", "100"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(link::WriteF13(r.value), r.f13) << r.value;
        EXPECT_EQ(link::WriteF6(r.value), r.f6) << r.value;
        EXPECT_EQ(link::WriteF4(r.value), r.f4) << r.value;
        EXPECT_EQ(link::WriteE13(r.value), r.e13) << r.value;
        EXPECT_EQ(link::WriteG(r.value), r.g) << r.value;
    }
    std::setlocale(LC_ALL, "C");
}

INSTANTIATE_TEST_SUITE_P(Locales, NumberWriters, ::testing::Values("C", "fr_FR.UTF-8"));

TEST(ReplyFields, ErrorCodeAndFieldRules)
{
    struct Row {
        const char* reply;
        int code;
    } codes[] = {
        {"0,EndOfAPI", 0}, {"-17,text,EndOfAPI", -17}, {"0", 1}, {"", 1}, {"0 abc,x,EndOfAPI", 1},
        {"abc,EndOfAPI", 1}, {"+5,EndOfAPI", 5}, {"99999999999,EndOfAPI", 1},
    };
    for (const auto& r : codes) EXPECT_EQ(link::ReplyErrorCode(r.reply), r.code) << r.reply;

    EXPECT_EQ(link::ReplyField("0,a,b,EndOfAPI", 1), "0");
    EXPECT_EQ(link::ReplyField("0,a,b,EndOfAPI", 2), "a");
    EXPECT_EQ(link::ReplyField("0,a,b,EndOfAPI", 4), "EndOfAPI");
    EXPECT_EQ(link::ReplyField("0,a,b,EndOfAPI", 9), "EndOfAPI");  // past the end: after the last comma
    EXPECT_EQ(link::ReplyField("whole", 1), "whole");
    EXPECT_EQ(link::ReplyField("whole", 3), "whole");
}

api::ParsedReply parse(const char* function, std::string_view reply, int count = 0)
{
    return api::ParseReply(*api::FindFunction(function), reply, count);
}

double num(const api::ParsedReply& p, std::size_t i) { return std::get<double>(*p.outputs.at(i)); }

TEST(ReplyParsing, EmptyReplyIsMinusTwoAndOutputsStay)
{
    const auto p = parse("PositionerSGammaParametersGet", "");
    EXPECT_EQ(p.code, -2);
    EXPECT_TRUE(p.outputs.empty());
}

TEST(ReplyParsing, ErrorCodeFirstOrOutputsFirst)
{
    // Code first: nothing written on a refused call.
    auto p = parse("PositionerSGammaParametersGet", "-17,1,2,3,4,EndOfAPI");
    EXPECT_EQ(p.code, -17);
    EXPECT_TRUE(p.outputs.empty());
    // Outputs first (A rows): written whatever the code.
    p = parse("PositionerErrorGet", "-5,42,EndOfAPI");
    EXPECT_EQ(p.code, -5);
    EXPECT_EQ(std::get<long long>(*p.outputs.at(0)), 42);
}

TEST(ReplyParsing, StrictAndLenientConversions)
{
    auto p = parse("PositionerSGammaParametersGet", "0,1.5,2,3e-3,-4,EndOfAPI");
    ASSERT_EQ(p.code, 0);
    EXPECT_FALSE(p.conversionError);
    EXPECT_DOUBLE_EQ(num(p, 0), 1.5);
    EXPECT_DOUBLE_EQ(num(p, 2), 0.003);
    // Strict: a field that is not a number is an error, and nothing is written.
    p = parse("PositionerSGammaParametersGet", "0,1.5,abc,3,4,EndOfAPI");
    EXPECT_TRUE(p.conversionError);
    EXPECT_EQ(p.conversionText, "abc");
    for (const auto& o : p.outputs) EXPECT_FALSE(o.has_value());
    // Fewer fields than placeholders: the missing strict value reads the closing field.
    p = parse("PositionerSGammaParametersGet", "0,1,2,EndOfAPI");
    EXPECT_TRUE(p.conversionError);
    // The travel limits getter turns the error into -2.
    p = parse("PositionerUserTravelLimitsGet", "0,-10,x,EndOfAPI");
    EXPECT_FALSE(p.conversionError);
    EXPECT_EQ(p.code, -2);
    // Lenient: whatever leads the field, 0 when nothing.
    p = parse("DoubleGlobalArrayGet", "0,2.5xyz,EndOfAPI");
    EXPECT_DOUBLE_EQ(num(p, 0), 2.5);
    p = parse("DoubleGlobalArrayGet", "0,EndOfAPI");
    EXPECT_DOUBLE_EQ(num(p, 0), 0.0);
    p = parse("GroupStatusGet", "0,12,EndOfAPI");
    EXPECT_EQ(std::get<long long>(*p.outputs.at(0)), 12);
    // A text output ends at its first comma.
    p = parse("ErrorStringGet", "0,Text, with comma,EndOfAPI");
    EXPECT_EQ(std::get<std::string>(*p.outputs.at(0)), "Text");
    // The strict integer output.
    p = parse("PositionerHardwareStatusGet", "0,x12,EndOfAPI");
    EXPECT_TRUE(p.conversionError);
}

TEST(ReplyParsing, BooleanRules)
{
    struct Row {
        const char* function;
        const char* reply;
        std::size_t index;
        bool expected;
    } rows[] = {
        {"PositionerCorrectorPIPositionGet", "0,1,1,2,3,EndOfAPI", 0, true},   // b0: no "0"
        {"PositionerCorrectorPIPositionGet", "0,0,1,2,3,EndOfAPI", 0, false},
        {"PositionerCorrectorPIPositionGet", "0,10,1,2,3,EndOfAPI", 0, false},
        {"PositionerCorrectorSR1AccelerationGet", "0,True,1,2,3,4,5,6,7,EndOfAPI", 0, true},  // b: "rue"
        {"PositionerCorrectorSR1AccelerationGet", "0,1,1,2,3,4,5,6,7,EndOfAPI", 0, false},
        {"PositionerTimeFlasherGet", "0,1,2,3,1,EndOfAPI", 3, true},  // b1: "1" or "rue"
        {"PositionerTimeFlasherGet", "0,1,2,3,true,EndOfAPI", 3, true},
        {"PositionerTimeFlasherGet", "0,1,2,3,0,EndOfAPI", 3, false},
    };
    for (const auto& r : rows) {
        const auto p = parse(r.function, r.reply);
        ASSERT_GT(p.outputs.size(), r.index) << r.reply;
        EXPECT_EQ(std::get<bool>(*p.outputs[r.index]), r.expected) << r.function << " " << r.reply;
    }
}

TEST(ReplyParsing, ScanListsStopWhereTheCommaIsMissing)
{
    auto p = parse("GroupPositionCurrentGet", "0,1.5,-2,3,EndOfAPI", 3);
    ASSERT_EQ(p.outputs.size(), 3u);
    EXPECT_DOUBLE_EQ(num(p, 0), 1.5);
    EXPECT_DOUBLE_EQ(num(p, 1), -2);
    EXPECT_DOUBLE_EQ(num(p, 2), 3);
    // The last number has no comma after it: it stays unchanged.
    p = parse("GroupPositionCurrentGet", "0,1.5,-2,3", 3);
    EXPECT_DOUBLE_EQ(num(p, 0), 1.5);
    EXPECT_DOUBLE_EQ(num(p, 1), -2);
    EXPECT_FALSE(p.outputs[2].has_value());
    // Typed entry point keeps the old value in place.
    p = parse("GroupPositionCurrentGet", "0,4", 2);
    EXPECT_FALSE(p.outputs[0].has_value());
}

TEST(ReplyParsing, ValidOnlyNameLists)
{
    auto p = parse("GPIOAnalogGet", "0,1.25,bad,EndOfAPI", 2);
    EXPECT_DOUBLE_EQ(num(p, 0), 1.25);
    EXPECT_FALSE(p.outputs[1].has_value());
    p = parse("GPIOAnalogGainGet", "0,4,x,EndOfAPI", 2);
    EXPECT_EQ(std::get<long long>(*p.outputs[0]), 4);
    EXPECT_FALSE(p.outputs[1].has_value());
}

TEST(ReplyParsing, ScriptAnswerIsCutBeforeTheEndMarker)
{
    struct Row {
        const char* reply;
        int code;
        const char* answer;
    } rows[] = {
        {"0,answer,EndOfAPI", 0, "answer"},
        {"0,a,b,c,EndOfAPI", 0, "a,b,c"},        // the whole answer, commas included
        {"0,Script says API here,EndOfAPI", 0, "Script"},  // an "API" inside the answer ends it there
        {"-3,fail,EndOfAPI", -3, ""},
        {"1 x,half,EndOfAPI", 1, "half"},          // code 1 still fills the answer
        {"0,no end marker", 0, ""},
    };
    for (const auto& r : rows) {
        const auto p = parse("TCLScriptExecuteAndWait", r.reply);
        EXPECT_EQ(p.code, r.code) << r.reply;
        if (r.code == 0 || r.code == 1)
            EXPECT_EQ(std::get<std::string>(*p.outputs.at(0)), r.answer) << r.reply;
        else
            EXPECT_TRUE(p.outputs.empty());
    }
}

TEST(LocalSlots, AnswerWithoutAController)
{
    EXPECT_EQ(api::LibraryVersionGet(), "NO DLL USED");
    EXPECT_EQ(api::Call(3, -1, std::vector<Value>{Value(1LL)}).code, 0);
    for (int slot : {58, 59, 60}) EXPECT_EQ(api::Call(slot, 0, std::vector<Value>{}).code, -2);
    EXPECT_EQ(api::Call(1, 5, std::vector<Value>{Value(5LL), Value(1.0)}).code, -1);  // slot 5 not open
    EXPECT_EQ(link::SocketOpen("127.0.0.1", 1, 1.0), -1);  // nothing listens on port 1
    EXPECT_EQ(link::SendCommand(7, "KillAll()"), "");
}

}  // namespace
