// libFuzzer target: any bytes as a G-code file through the read step and both conversion
// paths. The first byte picks the configuration (outputcheck.h); the rest is the file. A crash,
// a sanitizer report or an unsound output (CheckSctOutputs, CheckTclOutputs) is a finding.
#include "outputcheck.h"
#include "translator/gcodetext.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const unsigned char bits = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const mvx::MachineConfig config = mvx::test::FuzzConfig(bits);
    mvx::gcode::LineList lines = mvx::test::FuzzLines(text);
    // The file dialog's read normalises; the remote READ takes the lines as they stand.
    if (bits & 32) lines = mvx::gtext::NormalizeLoadedLines(lines);

    const auto sct = mvx::sct::ConvertSct(lines, config);
    if (const std::string fault = mvx::test::CheckSctOutputs(sct, config); !fault.empty()) {
        std::fprintf(stderr, "unsound SCT output: %s\n", fault.c_str());
        std::abort();
    }
    const auto tcl = mvx::tclpath::GCodeToTCL(lines, config);
    if (const std::string fault = mvx::test::CheckTclOutputs(tcl, config); !fault.empty()) {
        std::fprintf(stderr, "unsound TCL output: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
