#pragma once
// A reporter for the link's words that hands each message to the test, installed for the
// object's life.

#include "link/controller.h"
#include "link/linktexts.h"

#include <functional>
#include <string>

namespace mvx::test {

class RecordingReporter : public link::Reporter {
public:
    explicit RecordingReporter(std::function<void(const std::string&)> onMessage,
                               std::function<bool(const std::string&)> onAsk = {})
        : mOnMessage(std::move(onMessage)), mOnAsk(std::move(onAsk))
    {
        mvx::link::CurrentController().setReporter(this);
    }
    ~RecordingReporter() override { mvx::link::CurrentController().setReporter(nullptr); }
    RecordingReporter(const RecordingReporter&) = delete;
    RecordingReporter& operator=(const RecordingReporter&) = delete;

    void message(const std::string& text) override
    {
        if (mOnMessage) mOnMessage(text);
    }
    void timedMessage(const std::string& text, unsigned) override { message(text); }
    bool ask(const std::string& question) override { return mOnAsk && mOnAsk(question); }
    void notice(const std::string&) override {}

private:
    std::function<void(const std::string&)> mOnMessage;
    std::function<bool(const std::string&)> mOnAsk;
};

}  // namespace mvx::test
