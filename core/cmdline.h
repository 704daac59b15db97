#pragma once
// The command line: the G-code file, then option words looked for anywhere in the upper-cased rest.

#include <optional>
#include <string>
#include <vector>

namespace mvx {

struct CommandLine {
    bool HasArguments = false;
    std::string CommandFile;  // first argument, lower-cased
    std::string CommandTail;  // arguments 2..n, upper-cased, each followed by one blank
    int CommandMode = 0;      // 0 none, 1 SCT, 2 TCL, 3 direct
    bool CloseAfterBatch = false;
    bool QuietMode = false;   // "/H"
    bool Extend = false;      // "/E"
    bool Reduce = false;      // "/R"
    bool HiddenServer = false;  // an option word beginning with "h": hide and serve remote control
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);  // args without the program

// One numeric option ("V=", "A=", "U=", "S=", "D=").
struct NumericOption {
    const char* key;
    const char* section;
    const char* name;
    bool positive;  // must be > 0 (speeds, acceleration, step); else >= 0
};
extern const NumericOption kNumericOptions[5];  // in the order they are applied: V, A, U, S, D

enum class OptionStatus { Absent, Valid, Invalid };
struct OptionValue {
    OptionStatus status = OptionStatus::Absent;
    double value = 0.0;
};
// Up to 256 characters after the first occurrence of the key, read as a number up to the first
// bad character ("V=12.5 /H" gives 12.5, "V=20mm" 20). Not a number, or out of range: Invalid.
OptionValue ReadOptionValue(const std::string& tail, const NumericOption& option);

}  // namespace mvx
