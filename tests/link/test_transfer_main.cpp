// The transfer tests run with a GUI application object (offscreen), so the network calls take
// the path of the program: a helper thread while the GUI thread dispatches events.

#include "link/controller.h"
#include "transfer_support.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "link/linktexts.h"
#include "linkui/linkreporter.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / ("mvx_transfer_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    mvx::InitCommonGlobals(dir.string() + "/", "movantrix_test");
    auto& r = mvx::testing_link::recorder();
    mvx::link::registerTexts();
    mvx::link::CurrentController().setLogHandler([&r](const std::string& line) {
        std::lock_guard l(r.mutex);
        r.log.push_back(line);
    });
    auto onMessage = [&r](const std::string& text) {
        std::lock_guard l(r.mutex);
        r.messages.push_back(text);
    };
    // The link's words reach the message box, which the tests answer.
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    mvx::SetMessageBoxHandler([onMessage](const std::string& text, std::uint16_t) -> std::uint16_t {
        onMessage(text);
        return mvx::MrOk;
    });
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
