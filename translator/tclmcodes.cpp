#include "tclmcodes.h"

#include "numtext.h"

#include <algorithm>

namespace mvx::tclpath {

namespace {

struct MCodeRow {
    int Code;
    OutputRow MachineConfig::*First;
    bool FirstActive;
    OutputRow MachineConfig::*Second;  // always written inactive
};

// Spindle (M3 M4 / M5) and coolant (M7 M8 / M9).
constexpr MCodeRow kMCodes[] = {
    {3, &MachineConfig::M03M05, true, nullptr},
    {4, &MachineConfig::M04M05, true, nullptr},
    {5, &MachineConfig::M03M05, false, &MachineConfig::M04M05},
    {7, &MachineConfig::M07M09, true, nullptr},
    {8, &MachineConfig::M08M09, true, nullptr},
    {9, &MachineConfig::M07M09, false, &MachineConfig::M08M09},
};

}  // namespace

std::vector<MOutput> OutputsOfMCode(int mCode, const MachineConfig& config)
{
    std::vector<MOutput> out;
    for (const MCodeRow& r : kMCodes) {
        if (r.Code != mCode) continue;
        const OutputRow& first = config.*r.First;
        out.push_back({first.Gpio, first.Mask(), r.FirstActive ? first.ActiveValue() : first.InactiveValue()});
        if (r.Second) {
            const OutputRow& second = config.*r.Second;
            // The second output of M5 and M9 sits on the next connector above connector 1.
            const int gpio = second.Gpio > 1 ? second.Gpio + 1 : second.Gpio;
            out.push_back({gpio, second.Mask(), second.InactiveValue()});
        }
    }
    return out;
}

void TCommandeM::Execute(TclPathState& s) const
{
    FlushPendingWorkMove(s);
    ClosePVTTrajectory(s);
    const auto outputs = OutputsOfMCode(MNumber, s.Config);
    if (outputs.empty()) return;
    if (s.Direct) {
        if (!s.Executor) return;
        if (!s.Config.Simulation) {
            for (const MOutput& o : outputs)
                if (const int err = s.Executor->SetDigitalOutput(o.Gpio, o.Mask, o.Value))
                    s.ShowMsg("Error " + num::integer(err));
        }
        s.Executor->WaitNextBlock();
        return;
    }
    for (const MOutput& o : outputs) {
        const ScriptSpan span = s.Writer.OutputChange(MNumber, o.Gpio, o.Mask, o.Value);
        if (Line >= 0 && static_cast<std::size_t>(Line) < s.LineTable.size())
            s.Record(Line, s.LineTable[static_cast<std::size_t>(Line)].Group, LineTextKind::MOutput, span);
        ++s.LineGroup;
    }
}

void TDelay::WriteTCL(TclPathState& s) const
{
    FlushPendingWorkMove(s);
    ClosePVTTrajectory(s);
    const long long ms = Milliseconds > 0 ? Milliseconds : 0;
    if (s.Direct) {
        if (!s.Executor) return;
        s.Executor->Wait(static_cast<int>(std::min<long long>(ms, 0x7fffffff)));
        s.Executor->WaitNextBlock();
        return;
    }
    s.Writer.Dwell(ms);
}

}  // namespace mvx::tclpath
