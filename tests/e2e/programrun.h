#pragma once
// One run of the real program in a folder of its own: the binary copied there, a settings file
// that points it at the simulator, and G-code files in its GCODE folder.
#include <QProcess>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace mvx::test {

class ProgramRun {
public:
    // `settings`: section -> key -> value, written into movantrix.INI before the start.
    ProgramRun(const std::string& controllerAddress, std::map<std::string, std::map<std::string, std::string>> settings = {});
    ~ProgramRun();

    const std::string& folder() const { return mFolder; }
    void writeGCode(const std::string& name, const std::string& text);
    std::string readFile(const std::string& relPath) const;

    void start(const std::vector<std::string>& args);
    // True when the program ended by itself within `timeout`; kills it otherwise.
    bool waitForExit(std::chrono::milliseconds timeout);
    int exitCode() const;
    // Ends a program that is still running (as a kill would); the folder stays for a next start.
    void stop();
    std::string output() const;  // standard output and error so far
    // Reads the running program's output until `text` is in it `times` times, or the time-out;
    // true when it is.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout, int times = 1);

    // The remote-control server: one command, its reply (empty on time-out).
    std::string remote(const std::string& command, std::chrono::milliseconds timeout);
    // Waits until the server answers connections.
    bool waitForServer(std::chrono::milliseconds timeout);
    int serverPort() const { return mPort; }

private:
    std::string mFolder;
    int mPort = 0;
    std::unique_ptr<QProcess> mProcess;
    mutable std::string mOutput;
};

// The program binary of the build, or the one named by MVX_E2E_PROGRAM (a build of another tree).
std::string ProgramPath();

// A TCP port that the program's server can listen on (every interface), outside the ephemeral range.
int FreeTcpPort();

}  // namespace mvx::test
