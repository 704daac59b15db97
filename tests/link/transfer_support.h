#pragma once
// Shared pieces of the transfer tests: what the link logged and which messages it showed.

#include <mutex>
#include "tests/support/textfile.h"
#include <string>
#include <vector>

namespace mvx::testing_link {

struct Recorder {
    std::mutex mutex;
    std::vector<std::string> log;
    std::vector<std::string> messages;
    void clear()
    {
        std::lock_guard l(mutex);
        log.clear();
        messages.clear();
    }
    std::vector<std::string> logLines()
    {
        std::lock_guard l(mutex);
        return log;
    }
    std::vector<std::string> shown()
    {
        std::lock_guard l(mutex);
        return messages;
    }
    bool logged(const std::string& line)
    {
        std::lock_guard l(mutex);
        for (const auto& s : log)
            if (s == line) return true;
        return false;
    }
};

Recorder& recorder();
using mvx::test::ReadAll;
void WriteAll(const std::string& path, const std::string& data);
// Closes any session and puts the link's state back to a program start, aimed at `address`.
void ResetLink(const std::string& address);

}  // namespace mvx::testing_link
