#include "tclrunner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace mvx::test {

namespace {

std::filesystem::path TempFile(const std::string& text)
{
    static std::atomic<int> counter{0};
    const auto dir = std::filesystem::temp_directory_path() /
                     ("mvx_tcl_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = dir / ("s" + std::to_string(counter++) + ".tcl");
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TclOutcome RunCommand(const std::string& command)
{
    TclOutcome out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.Output.append(buf, n);
    const int status = ::pclose(pipe);
    out.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

}  // namespace

TclOutcome TclComplete(const std::vector<std::string>& texts)
{
    std::string command = std::string(MVX_TCLSH) + " " + Quote(std::string(MVX_TCL_DIR) + "/complete.tcl");
    std::vector<std::filesystem::path> files;
    for (const auto& t : texts) {
        files.push_back(TempFile(t));
        command += " " + Quote(files.back().string());
    }
    TclOutcome out = RunCommand(command);
    for (const auto& f : files) std::filesystem::remove(f);
    return out;
}

TclOutcome TclRun(const std::string& script, const std::string& failing)
{
    const auto file = TempFile(script);
    std::string command = std::string(MVX_TCLSH) + " " + Quote(std::string(MVX_TCL_DIR) + "/run.tcl") + " " +
                          Quote(file.string());
    if (!failing.empty()) command += " " + Quote(failing);
    TclOutcome out = RunCommand(command);
    std::filesystem::remove(file);
    return out;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace mvx::test
