// The layers of the source tree as its folders say: what each folder may include, which files
// stay free of windows, and the one folder that knows every window. Read from the sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kRoot = MVX_SOURCE_DIR;

struct Include {
    std::string name;  // as written
    bool system = false;
    int line = 0;
};

struct Source {
    std::string path;    // relative to the root, "link/api.cpp"
    std::string folder;  // "link"
    std::vector<Include> includes;
};

std::vector<Include> includesOf(const fs::path& file)
{
    static const std::regex kLine(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<Include> out;
    std::ifstream in(file);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        std::smatch m;
        if (std::regex_search(line, m, kLine)) out.push_back({m[2].str(), m[1].str() == "<", n});
    }
    return out;
}

// Every C++ source of the given top-level folders (tests/<folder> counts as "tests/<folder>").
std::vector<Source> sources(const std::vector<std::string>& folders)
{
    std::vector<Source> out;
    for (const std::string& folder : folders) {
        const fs::path dir = kRoot / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            const std::string ext = e.path().extension().string();
            if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
            Source s;
            s.path = fs::relative(e.path(), kRoot).generic_string();
            s.folder = folder;
            s.includes = includesOf(e.path());
            out.push_back(std::move(s));
        }
    }
    return out;
}

// The project folder an include names ("link/api.h" -> "link"); the file's own folder for a
// name beside it; empty for a system or library header.
std::string projectFolder(const Source& s, const Include& inc)
{
    if (inc.system) return {};
    const std::size_t slash = inc.name.find('/');
    if (slash != std::string::npos && fs::exists(kRoot / inc.name)) return inc.name.substr(0, slash);
    if (slash != std::string::npos && fs::exists(kRoot / "tests" / inc.name)) return "tests/" + inc.name.substr(0, slash);
    return s.folder;
}

// Headers of the window libraries: Qt Widgets and the libraries built on it.
const std::set<std::string>& windowHeaders()
{
    static const std::set<std::string> all = [] {
        std::set<std::string> names;
        for (const char* dir : {MVX_QT_INCLUDE_DIR "/QtWidgets", MVX_QT_INCLUDE_DIR "/QtOpenGLWidgets",
                                MVX_QT_INCLUDE_DIR "/QtPrintSupport", MVX_QT_INCLUDE_DIR "/QtCharts",
                                MVX_QT_INCLUDE_DIR "/QtWebEngineWidgets"}) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
        }
        return names;
    }();
    return all;
}

bool isWindowHeader(const Include& inc)
{
    if (!inc.system) return false;
    static const char* const kModules[] = {"QtWidgets/", "QtOpenGLWidgets/", "QtPrintSupport/", "QtCharts/",
                                           "QtWebEngineWidgets/", "Qsci/"};
    for (const char* m : kModules)
        if (inc.name.rfind(m, 0) == 0) return true;
    return windowHeaders().count(inc.name) != 0;
}

bool isQtHeader(const Include& inc)
{
    return inc.system && inc.name.size() > 1 && inc.name[0] == 'Q' &&
           (std::isupper(static_cast<unsigned char>(inc.name[1])) || inc.name.rfind("Qt", 0) == 0);
}

std::string where(const Source& s, const Include& inc)
{
    return s.path + ":" + std::to_string(inc.line) + " includes " + inc.name;
}

TEST(Layers, EachFolderIncludesOnlyTheFoldersBelowIt)
{
    const std::map<std::string, std::set<std::string>> allowed = {
        {"translator", {"translator"}},
        {"core", {"core", "translator"}},
        {"link", {"link", "core", "translator"}},
        {"app", {"app", "core", "translator"}},
        {"linkui", {"linkui", "link", "app", "core", "translator"}},
        {"mainwindow", {"mainwindow", "link", "app", "core", "translator"}},
        {"tclbench", {"tclbench", "linkui", "link", "app", "core", "translator"}},
        {"maintenance", {"maintenance", "tclbench", "linkui", "link", "app", "core", "translator"}},
    };
    std::vector<std::string> folders;
    for (const auto& [f, _] : allowed) folders.push_back(f);
    for (const Source& s : sources(folders))
        for (const Include& inc : s.includes) {
            const std::string f = projectFolder(s, inc);
            if (!f.empty()) {
                EXPECT_TRUE(allowed.at(s.folder).count(f)) << where(s, inc);
            }
        }
}

TEST(Layers, TheLinkTheTranslatorAndTheCoreHaveNoWindows)
{
    for (const Source& s : sources({"link", "translator", "core"}))
        for (const Include& inc : s.includes) {
            EXPECT_FALSE(isWindowHeader(inc)) << where(s, inc);
            // The translator and the core are plain C++.
            if (s.folder != "link") {
                EXPECT_FALSE(isQtHeader(inc)) << where(s, inc);
            }
        }
}

TEST(Layers, NothingUnderTheLinkDispatchesEvents)
{
    // Waits under the socket layer never let other handlers run: that is the window layer's.
    const std::regex kPumping(R"(processEvents|QEventLoop|sendPostedEvents|QAbstractEventDispatcher)");
    for (const Source& s : sources({"link"})) {
        std::ifstream in(kRoot / s.path);
        std::string line;
        int n = 0;
        while (std::getline(in, line)) {
            ++n;
            EXPECT_FALSE(std::regex_search(line, kPumping)) << s.path << ":" << n << ": " << line;
        }
    }
}

TEST(Layers, TheWindowsWorkOnTheControllerTheyAreGiven)
{
    // Only the link and the wiring know which controller is the installed one.
    const std::regex kInstalled(R"(\b(CurrentController|InstallController)\b)");
    int seen = 0;
    for (const Source& s : sources({"translator", "core", "app", "linkui", "mainwindow", "tclbench", "maintenance"})) {
        ++seen;
        std::ifstream in(kRoot / s.path);
        std::string line;
        int n = 0;
        while (std::getline(in, line)) {
            ++n;
            EXPECT_FALSE(std::regex_search(line, kInstalled)) << s.path << ":" << n << ": " << line;
        }
    }
    EXPECT_GT(seen, 100);
}

TEST(Layers, TheJobRoadHasNoWindows)
{
    // The road of a job and what it stands on in the main window's folder.
    const std::set<std::string> road = {"jobroad", "jobconversion", "joblink", "joblink_impl", "jobcontrol",
                                        "poll", "remoteserver", "mainsettings", "tfmain_util",
                                        "gcodelistmodel"};
    int seen = 0;
    for (const Source& s : sources({"mainwindow"})) {
        if (!road.count(fs::path(s.path).stem().string())) continue;
        ++seen;
        for (const Include& inc : s.includes) EXPECT_FALSE(isWindowHeader(inc)) << where(s, inc);
    }
    EXPECT_GE(seen, 14);
}

TEST(Layers, OnlyTheWiringKnowsTheMainWindowAndTheWorkbenchTogether)
{
    for (const Source& s : sources({"translator", "core", "link", "app", "linkui", "mainwindow", "tclbench",
                                    "maintenance", "tests", "bench"})) {
        if (s.path.rfind("tests/program/", 0) == 0) continue;
        bool main = false, bench = false;
        for (const Include& inc : s.includes) {
            const std::string f = projectFolder(s, inc);
            main = main || f == "mainwindow";
            bench = bench || f == "tclbench" || f == "maintenance";
        }
        EXPECT_FALSE(main && bench) << s.path << " includes the main window and the workbench or console";
    }
}

TEST(Layers, TheFolderRulesSeeTheTree)
{
    // A moved root or a renamed folder would make every rule above pass on nothing.
    EXPECT_GT(sources({"link"}).size(), 30u);
    EXPECT_GT(windowHeaders().size(), 300u);
    const Source probe{"link/x.cpp", "link", {}};
    EXPECT_TRUE(isWindowHeader({"QDialog", true, 1}));
    EXPECT_TRUE(isWindowHeader({"Qsci/qsciscintilla.h", true, 1}));
    EXPECT_FALSE(isWindowHeader({"QCoreApplication", true, 1}));
    EXPECT_EQ(projectFolder(probe, {"core/common.h", false, 1}), "core");
    EXPECT_EQ(projectFolder(probe, {"apiwire.h", false, 1}), "link");
}

}  // namespace
