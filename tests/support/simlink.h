#pragma once
// One simulator per test binary with the pool of API connections open on it.
#include "link/controller.h"
#include "core/common.h"
#include "link/apitable.h"
#include "link/linktexts.h"
#include "link/socketpool.h"
#include "tests/support/kvxsim_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace mvx::test {

class SimLinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        link::registerTexts();
        api::InstallSocketApi();
        sSim = new KvxSim();
        common().ControllerIp = sSim->address();
        common().ControllerUsable.store(1);
        common().ExtraTimeoutMs.store(0);
        ASSERT_TRUE(link::CurrentController().openPool());
    }
    static void TearDownTestSuite()
    {
        link::CurrentController().closePool();
        common().ControllerUsable.store(0);
        delete sSim;
        sSim = nullptr;
    }
    void SetUp() override
    {
        common().MinSocketTimeout.store(1.0);
        common().Debug.store(false);
        common().StopRequested.store(0);
        link::SetDrainLimitForTests(2000);
        sim().clearFaults();
        settle();
        sim().clearRequestLog();
    }
    void TearDown() override
    {
        sim().clearFaults();
        settle();
    }
    // No drain running and every entry free.
    static void settle()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end && link::DrainsRunning() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        link::MarkAllSocketsFree();
    }
    static KvxSim& sim() { return *sSim; }

    // Requests of the log whose text begins with `name`.
    static std::vector<KvxRequest> requestsOf(const std::string& name)
    {
        std::vector<KvxRequest> out;
        for (const KvxRequest& r : sim().requestLog())
            if (r.text.rfind(name, 0) == 0) out.push_back(r);
        return out;
    }
    // Requests sent by the program (the TCL tasks' own connections left out) in order.
    static std::vector<std::string> requestNames(const std::vector<std::string>& only)
    {
        std::vector<std::string> out;
        for (const KvxRequest& r : sim().requestLog()) {
            const std::string name = r.text.substr(0, r.text.find('('));
            for (const std::string& o : only)
                if (name == o) out.push_back(name);
        }
        return out;
    }

    static inline KvxSim* sSim = nullptr;
};

}  // namespace mvx::test
