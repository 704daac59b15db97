// The handler guard: an exception ends the handler, says what it was and where, and goes no further.
#include "core/guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace mvx;

TEST(Guarded, AnExceptionEndsTheHandlerAndIsWrittenToStandardError)
{
    struct Row {
        const char* name;
        void (*body)();
        bool ok;
        std::string said;
    } rows[] = {
        {"none", [] {}, true, ""},
        {"std", [] { throw std::runtime_error("disk full"); }, false, "remote control: disk full\n"},
        {"other", [] { throw 42; }, false, "remote control: unknown exception\n"},
    };
    for (const Row& r : rows) {
        testing::internal::CaptureStderr();
        const bool ok = Guarded("remote control", r.body);
        EXPECT_EQ(ok, r.ok) << r.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), r.said) << r.name;
    }
}
