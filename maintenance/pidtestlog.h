#pragma once
// The PID-test log: a text file of six header values, the date of saving, a count and one
// sample a line (x, setpoint, current, following error). No Qt.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mvx::maint {

struct PidSample {
    double x = 0.0;
    double setpoint = 0.0;
    double current = 0.0;
    double error = 0.0;
};

struct PidTestLog {
    std::string axis, start, period, speed, duration, length;  // the fields' texts
    std::string stamp;                                         // date and time of saving
    std::vector<PidSample> samples;
};

// Scientific notation as the log writes the error: 15 significant digits, "E", sign, three
// exponent digits ("-1.50000000000000E-003"), right-aligned in `width` characters.
std::string ScientificText(double value, int width = 23);

// The whole file, lines ending with CR LF.
std::string FormatPidTestLog(const PidTestLog& log);

struct PidLogRead {
    PidTestLog log;
    std::vector<std::string> headerLines;  // lines 1 to 10 as read
    std::size_t announced = 0;             // the count of line 10
    bool complete = false;                 // as many samples as announced were read
};
// Reads a log; the reading stops at the first sample that is not four numbers. nullopt when
// the ten header lines are not there.
std::optional<PidLogRead> ParsePidTestLog(std::string_view text);

// Samples of a downloaded gathering file of the test: period on the first line, three numbers
// (setpoint, current, error) on each line after the second. `fallbackPeriod` is used when the
// file's period is not a positive number. Fewer than 3 lines give none.
std::vector<PidSample> PidSamplesFromGathering(std::string_view text, double fallbackPeriod, double* period = nullptr);

// round(duration / period) + 1, half to even; nullopt when the period is not positive or a value
// is not finite.
std::optional<long long> PidTestPoints(double duration, double period);

}  // namespace mvx::maint
