#include "tclbootscript.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/transfer.h"

#include <filesystem>
#include <system_error>

namespace mvx::tclbench {

namespace {
constexpr const char* kSystemIni = "system.ini";
}

bool WriteBootKeys(const std::string& iniPath, const std::string& scriptName, const std::string& arguments,
                   std::string* error)
{
    IniFile ini(iniPath);
    if (!ini.writeString("GENERAL", "BootScriptFileName", scriptName)
        || !ini.writeString("GENERAL", "BootScriptArguments", arguments)) {
        if (error) *error = ini.lastError();
        return false;
    }
    return true;
}

std::string BootKeyProblem(const std::string& scriptName, const std::string& arguments)
{
    if (scriptName.find_first_not_of(' ') == std::string::npos) return "no script name";
    for (const std::string* s : {&scriptName, &arguments})
        if (s->find_first_of("\r\n") != std::string::npos) return "a line end in \"" + *s + "\"";
    if (scriptName.find_first_of("[]=;") != std::string::npos) return "\"" + scriptName + "\" is not a file name";
    return {};
}

bool SetBootScript(link::Controller& controller, const std::string& localDir, const std::string& scriptName, const std::string& arguments,
                   std::string& error)
{
    error = BootKeyProblem(scriptName, arguments);
    if (!error.empty()) return false;
    auto& c = common();
    const std::string local = localDir + kSystemIni;
    const std::string part = local + ".part";
    std::error_code ec;
    std::filesystem::remove(part, ec);
    if (!controller.changeDir(c.RemoteConfigDir, localDir)) {
        error = "cannot open " + c.RemoteConfigDir;
        return false;
    }
    WaitWithMessages(200);
    // Downloaded under a name of its own, so a stale local system.ini can never be sent back.
    if (!controller.getFile(kSystemIni, std::string(kSystemIni) + ".part", false)
        || !std::filesystem::is_regular_file(part, ec)) {
        error = "cannot download " + c.RemoteConfigDir + "/" + kSystemIni;
        return false;
    }
    if (!IniFile(part).sectionExists("GENERAL")) {
        std::filesystem::remove(part, ec);
        error = std::string(kSystemIni) + " has no GENERAL section";
        return false;
    }
    if (!WriteBootKeys(part, scriptName, arguments, &error)) return false;
    std::filesystem::rename(part, local, ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    if (!controller.changeDir(c.RemoteConfigDir, localDir)) {
        error = "cannot open " + c.RemoteConfigDir;
        return false;
    }
    if (!controller.putFile(kSystemIni, kSystemIni, true)) {
        error = "cannot upload " + std::string(kSystemIni);
        return false;
    }
    return true;
}

}  // namespace mvx::tclbench
