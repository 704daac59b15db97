#include "tclscript.h"

#include "numtext.h"
#include "texts.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <iterator>
#include <stdexcept>

namespace mvx {

namespace {

const std::string kBanner(68, '#');

std::string LanguageText(std::string_view key) { return ScriptSafeText(texts::get(key)); }

std::string AxisName(const MachineConfig& c, int axis)
{
    static constexpr const char* kLetters[] = {"X", "Y", "Z"};
    std::string name = ScriptSafeText(c.AxisNames[static_cast<std::size_t>(axis)]);
    name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
    return name.empty() ? std::string(kLetters[axis]) : name;
}

std::string TwoDigits(int v)
{
    std::string s = num::integer(v);
    return s.size() < 2 ? "0" + s : s;
}

// Local date and time in the short forms dd/mm/yyyy and hh:mm:ss.
void Now(std::string& date, std::string& time)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    localtime_r(&t, &tm);
    date = TwoDigits(tm.tm_mday) + "/" + TwoDigits(tm.tm_mon + 1) + "/" + num::integer(tm.tm_year + 1900);
    time = TwoDigits(tm.tm_hour) + ":" + TwoDigits(tm.tm_min) + ":" + TwoDigits(tm.tm_sec);
}

}  // namespace

std::string ScriptSafeText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n') out.push_back(c);
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

std::string RunStartArguments(const MachineConfig& config, const std::array<double, 3>& start)
{
    const std::size_t axes = config.XYGroupOnly ? 2 : 3;
    const std::string zero = num::fixed(0.0, config.NbDigit);
    bool origin = true;
    for (std::size_t a = 0; a < axes; ++a)
        if (num::fixed(start[a], config.NbDigit) != zero) origin = false;
    if (origin) return config.XYGroupOnly ? "0.0 0.0" : "0.0 0.0 0.0";
    std::string s;
    for (std::size_t a = 0; a < axes; ++a) {
        if (a) s += ' ';
        s += num::fixed(start[a], config.NbDigit);
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// TclScript

void TclScript::Clear()
{
    std::string().swap(mText);
    mLines = 0;
    mTail.clear();
    mSink = nullptr;
}

void TclScript::Spill(std::function<void(std::string_view)> sink, std::size_t chunk)
{
    mSink = std::move(sink);
    mChunk = chunk > 0 ? chunk : 1;
    if (!mSink) return;
    mText.reserve(mChunk + (mChunk >> 4) + 4096);
    if (mText.size() >= mChunk) SpillText();
}

void TclScript::SpillText()
{
    mSink(mText);
    mText.clear();
}

void TclScript::Start(const MachineConfig& c)
{
    Clear();
    const OutputRow& tool = c.ActivateTool;
    const std::string mask = num::integer(tool.Mask());
    std::string date = c.DateText, time = c.TimeText;
    if (date.empty() || time.empty()) {
        std::string d, t;
        Now(d, t);
        if (date.empty()) date = d;
        if (time.empty()) time = t;
    }
    const std::string inProcCheck = "    if {$ErrorCode != 0}  { set tcl_argv(0) $ErrorCode ; return $ErrorCode}";

    Insert("# script GCode_converted.tcl");
    Insert("# Gcode : " + ScriptSafeText(c.GCodeFileName));
    Insert("# date : " + ScriptSafeText(date) + " Time : " + ScriptSafeText(time));
    Insert("");
    Insert("set name_group \"" + ScriptSafeText(c.GroupName) + "\"");
    Insert("set group_io_work \"GPIO" + num::integer(tool.Gpio) + ".DO \"");
    Insert("set output_io_work " + mask);
    Insert("set state_io_work " + num::integer(tool.InactiveValue()));
    Insert("set state_io_move " + num::integer(tool.ActiveValue()));
    Insert("");

    Insert("# " + LanguageText("stringtoolinactive"));
    Insert({"proc inactivate {} \\", "    {", "    global SocketID", "    global group_io_work",
            "    global output_io_work", "    global state_io_work", "    global tcl_argv",
            "    set ErrorCode [catch \"GPIODigitalSet $SocketID $group_io_work  $output_io_work $state_io_work\"]",
            inProcCheck, "    }", ""});

    Insert("# " + LanguageText("stringtoolactive"));
    Insert({"proc activate {} \\", "    {", "    global SocketID", "    global group_io_work",
            "    global output_io_work", "    global state_io_move", "    global tcl_argv",
            "    set ErrorCode [catch \"GPIODigitalSet $SocketID $group_io_work  $output_io_work $state_io_move\"]",
            inProcCheck, "    }", ""});

    Insert("# " + LanguageText("stringmovrelative"));
    if (c.XYGroupOnly) {
        Insert({"proc mov {X Y }\\", "    {", "    global SocketID", "    global name_group", "    global tcl_argv",
                "    set ErrorCode [catch \" GroupMoveRelative $SocketID $name_group $X $Y\"]"});
    } else {
        Insert({"proc mov {X Y Z }\\", "    {", "    global SocketID", "    global name_group", "    global tcl_argv",
                "    set ErrorCode [catch \" GroupMoveRelative $SocketID $name_group $X $Y $Z\"]"});
    }
    Insert({inProcCheck, "    }", ""});

    Insert("# " + LanguageText("stringroutinechangespeed"));
    Insert({"proc change_speed {speed axis}\\", "    {", "    global SocketID", "    global name_group",
            "    global tcl_argv", "    set Velocity 1", "    set Acceleration 1", "    set MinimumJerkTime 0.01",
            "    set MaximumJerkTime 0.1",
            "    set ErrorCode [catch \" PositionerSGammaParametersGet $SocketID $name_group.$axis Velocity "
            "Acceleration MinimumJerkTime MaximumJerkTime\"]",
            inProcCheck,
            "    set ErrorCode [catch \" PositionerSGammaParametersSet $SocketID $name_group.$axis $speed "
            "$Acceleration $MinimumJerkTime $MaximumJerkTime\"]",
            inProcCheck, "    }", ""});

    Insert({"# Close Socket", "proc close_socket {}\\", "    {", "    global SocketID",
            "    set ErrorCode [catch \"TCP_CloseSocket $SocketID\"]", "    }", ""});
    Insert("set tcl_argv(0) 0 ");
    Insert({"# Open com.", "set TimeOut 3600", "set ErrorCode [catch \"OpenConnection $TimeOut SocketID\"]",
            tclcheck::kShort, ""});
    Insert({"inactivate", tclcheck::kProcedure, ""});

    const std::string v = num::fixed(c.PositioningSpeed, c.NbDigit);
    const int axes = c.XYGroupOnly ? 2 : 3;
    for (int a = 0; a < axes; ++a) Insert("change_speed " + v + " " + AxisName(c, a));
    Insert(std::string(tclcheck::kProcedure));
    Insert({"", "", ""});
    Insert(kBanner);
    Insert("#          " + LanguageText("stringBeginprogram"));
    Insert(kBanner);
    Insert("");

    // Footer, after the insertion point.
    mTail = {"", "set ErrorCode [catch \"TCP_CloseSocket $SocketID\"]", "return $tcl_argv(0)"};
}

void TclScript::Insert(std::string_view line)
{
    mText.append(line).push_back('\n');
    ++mLines;
    if (mSink && mText.size() >= mChunk) SpillText();
}

void TclScript::Insert(std::initializer_list<std::string_view> lines)
{
    for (std::string_view l : lines) Insert(l);
}

std::vector<std::string> SplitScriptLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        lines.emplace_back(text.substr(pos, eol - pos));
        pos = eol + 1;
    }
    return lines;
}

std::vector<std::string> TclScript::Lines() const
{
    std::vector<std::string> all = SplitScriptLines(mText);
    all.insert(all.end(), mTail.begin(), mTail.end());
    return all;
}

std::string TclScript::Text() const
{
    std::size_t size = mText.size();
    for (const auto& l : mTail) size += l.size() + 1;
    std::string text;
    text.reserve(size);
    text += mText;
    for (const auto& l : mTail) text.append(l).push_back('\n');
    return text;
}

std::string TclScript::TakeText()
{
    std::string text = std::move(mText);
    for (const auto& l : mTail) text.append(l).push_back('\n');
    if (mSink) {
        if (!text.empty()) mSink(text);
        std::string().swap(text);  // nor its room: the caller would hold it with the views
    }
    Clear();
    return text;
}

// ---------------------------------------------------------------------------------------------
// TclBodyWriter

TclBodyWriter::TclBodyWriter(TclScript& script, const MachineConfig& config) : mScript(script), mConfig(config) {}

void TclBodyWriter::AppendCoordinates(std::string& out, const std::array<double, 3>& p) const
{
    num::appendFixed(out, p[0], mConfig.NbDigit);
    out.push_back(' ');
    num::appendFixed(out, p[1], mConfig.NbDigit);
    if (!mConfig.XYGroupOnly) {
        out.push_back(' ');
        num::appendFixed(out, p[2], mConfig.NbDigit);
    }
}

void TclBodyWriter::ToolOff()
{
    mScript.Insert({"inactivate", tclcheck::kProcedure});
    mToolActive = false;
}

void TclBodyWriter::ToolOn()
{
    mScript.Insert({"activate", tclcheck::kProcedure});
    mToolActive = true;
}

ScriptSpan TclBodyWriter::Move(const std::array<double, 3>& start, const std::array<double, 3>& end, bool working,
                               bool relative)
{
    if (working && !mToolActive) ToolOn();
    if (!working && mToolActive) ToolOff();
    ScriptSpan span;
    // A working move's text starts two lines above its move line (where a tool-on or a speed
    // change usually stands).
    span.First = mScript.NextLineNumber() - (working ? 2 : 0);
    std::string& line = mScript.Open();
    if (relative) {
        const std::array<double, 3> d{end[0] - start[0], end[1] - start[1], end[2] - start[2]};
        line += "set ErrorCode [catch \" GroupMoveRelative $SocketID $name_group ";
        AppendCoordinates(line, d);
    } else {
        line += "set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group ";
        AppendCoordinates(line, end);
    }
    line += "\"]";
    mScript.EndLine();
    span.Last = mScript.NextLineNumber();
    mScript.Insert({tclcheck::kClosing, ""});
    return span;
}

void TclBodyWriter::SpeedChange(int axis, double speed)
{
    std::string& line = mScript.Open();
    line += "change_speed ";
    num::appendFixed(line, speed, mConfig.NbDigit);
    line.push_back(' ');
    line += AxisName(mConfig, axis);
    mScript.EndLine();
    mScript.Insert(tclcheck::kProcedure);
}

ScriptSpan TclBodyWriter::PvtRun(int fileNumber, const std::array<double, 3>& runStart, bool relative)
{
    if (!mRunWritten && !relative) {
        // The run's rows are displacements: put the group where the run begins first, as a
        // travel and not a cut.
        if (mToolActive) ToolOff();
        mScript.Insert("set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group " +
                       RunStartArguments(mConfig, runStart) + "\"]");
        mScript.Insert(tclcheck::kClosingSpaced);
    }
    mRunWritten = true;
    ScriptSpan span;
    span.First = mScript.NextLineNumber();
    mScript.Insert("# " + LanguageText("stringruntrajnumb") + " " + num::integer(fileNumber));
    if (!mToolActive) ToolOn();
    mScript.Insert("set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID " + ScriptSafeText(mConfig.GroupName) +
                   " TRJ" + num::integer(fileNumber) + ".PVT 1\"]");
    mScript.Insert(tclcheck::kClosing);
    ToolOff();
    span.Last = mScript.NextLineNumber();
    mScript.Insert("");
    return span;
}

ScriptSpan TclBodyWriter::OutputChange(int mCode, int gpio, unsigned mask, unsigned value)
{
    ScriptSpan span;
    span.First = mScript.NextLineNumber();
    mScript.Insert("# " + LanguageText("stringchangeoutputM") + num::integer(mCode));
    mScript.Insert("set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO" + num::integer(gpio) + ".DO  " +
                   num::integer(mask) + " " + num::integer(value) + "\"]");
    // The command's own code: a refused output ends the script with it.
    span.Last = mScript.NextLineNumber();
    mScript.Insert({tclcheck::kClosing, ""});
    return span;
}

ScriptSpan TclBodyWriter::Dwell(long long milliseconds)
{
    ScriptSpan span;
    span.First = mScript.NextLineNumber();
    const std::string t = num::integer(milliseconds);
    mScript.Insert("# " + LanguageText("Stringtempo") + " " + t);
    span.Last = mScript.NextLineNumber();
    mScript.Insert("after " + t);
    mScript.Insert("");
    return span;
}

// ---------------------------------------------------------------------------------------------
// Line table texts

std::string PositioningLineText(ScriptSpan s)
{
    return "Positionning : Move absolute§TCL lines number " + num::integer(s.First) + " to " + num::integer(s.Last);
}

std::string WorkLineText(ScriptSpan s)
{
    return "Work : Move absolute§TCL line numbers " + num::integer(s.First) + " to " + num::integer(s.Last);
}

std::string PvtRunLineText(int fileNumber, ScriptSpan s)
{
    return "PVT trajectory " + num::integer(fileNumber) + "§TCL lines number " + num::integer(s.First) + " to " +
           num::integer(s.Last);
}

std::string MCommandLineText(ScriptSpan s)
{
    return "M command§TCL lines number " + num::integer(s.First) + " to " + num::integer(s.Last);
}

}  // namespace mvx
