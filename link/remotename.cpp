#include "remotename.h"

#include "ssh.h"

#include "core/common.h"
#include "core/inifile.h"
#include "translator/texts.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <filesystem>
#include <mutex>
#include <vector>

namespace mvx::link {
namespace {

namespace fs = std::filesystem;

constexpr texts::Builtin kRows[] = {
    {"StringRemoteNameRefused", "Nom de fichier refusé :"},
};

std::string lower(std::string s)
{
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

bool endsWith(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool sameFolder(const std::string& a, const std::string& b)
{
    std::error_code ec;
    const fs::path pa = fs::weakly_canonical(fs::path(a.empty() ? "." : a), ec);
    const fs::path pb = fs::weakly_canonical(fs::path(b.empty() ? "." : b), ec);
    return pa.lexically_normal() / "" == pb.lexically_normal() / "";
}

// Lower-case names of the program's own files in its folder.
bool programFile(const std::string& lowered)
{
    const std::string exe = lower(ExecutableName());
    std::vector<std::string> exact = {exe, exe + ".exe", exe + ".ini", lower(fs::path(SettingsFilePath()).filename().string()),
                                      lower(fs::path(KnownHostsFile()).filename().string())};
    if (const IniFile* ini = SettingsIni()) exact.push_back(lower(fs::path(ini->path()).filename().string()));
    if (QCoreApplication::instance())
        exact.push_back(lower(QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString()));
    for (const std::string& e : exact)
        if (!e.empty() && lowered == e) return true;
    // The two families of language files.
    for (const std::string& prefix : {exe + "_language_", std::string("kvx_language_")})
        if (startsWith(lowered, prefix) && endsWith(lowered, ".ini")) return true;
    return false;
}

}  // namespace

bool RemoteNameUsable(const std::string& name, const std::string& localDir)
{
    if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
    for (const char ch : name) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '/' || ch == '\\' || u < 0x20 || u == 0x7f) return false;
    }
    if (!localDir.empty() && sameFolder(localDir, common().ProgramDir) && programFile(lower(name))) return false;
    return true;
}

void registerRemoteNameTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kRows); });
}

std::string RemoteNameRefusedText(const std::string& name)
{
    registerRemoteNameTexts();
    return texts::get("StringRemoteNameRefused") + " " + name;
}

}  // namespace mvx::link
