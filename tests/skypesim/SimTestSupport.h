#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "skypesim/RawClient.h"
#include "skypesim/SkypeSimulator.h"

namespace skypesim_test {

using skypesim::AccountConfig;
using skypesim::RawClient;
using skypesim::SkypeSimulator;

constexpr unsigned kWait = 5000;  // ms: generous, only reached when something is wrong
constexpr unsigned kQuiet = 300;  // ms: how long "nothing arrives" is watched

// An account whose discover and attach messages no other test uses, so that a broadcast
// reaches this test's messenger only.
inline AccountConfig UniqueAccount(std::string const& handle, std::string const& fullName = std::string()) {
    static std::atomic<int> counter{0};
    AccountConfig config;
    config.handle = handle;
    config.fullName = fullName.empty() ? handle : fullName;
    std::wstring base =
        L"SkypeSimTest." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(counter++);
    config.discoverMessage = base + L".Discover";
    config.attachMessage = base + L".Attach";
    return config;
}

inline std::unique_ptr<RawClient> ClientFor(AccountConfig const& config) {
    return std::make_unique<RawClient>(config.discoverMessage, config.attachMessage);
}

// Waits for a notification equal to `text`, passing over (and taking) others that start like it.
// The last notification before the client has been quiet for `quietMs`; empty without one.
inline std::string LastNotification(RawClient& client, unsigned quietMs = kQuiet) {
    std::string last;
    while (std::optional<std::string> next = client.Notifications().Pop(quietMs)) {
        last = *next;
    }
    return last;
}

inline bool WaitForExactly(RawClient& client, std::string const& text, unsigned timeoutMs = kWait) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        std::optional<std::string> found =
            client.WaitForNotification(text, static_cast<unsigned>(left.count()));
        if (!found) {
            return false;
        }
        if (*found == text) {
            return true;
        }
    }
}

// A simulator with attached clients by account handle.
class SimTest : public ::testing::Test {
protected:
    // Adds an account (after `configure` has adjusted it) and attaches a client to it.
    template <typename Configure>
    RawClient& AddAttached(std::string const& handle, Configure configure) {
        AccountConfig config = UniqueAccount(handle, handle + " Example");
        configure(config);
        sim->AddAccount(config);
        configs[handle] = config;
        clients[handle] = ClientFor(config);
        EXPECT_TRUE(clients[handle]->Attach(kWait)) << handle;
        return *clients[handle];
    }
    RawClient& AddAttached(std::string const& handle) {
        return AddAttached(handle, [](AccountConfig&) {});
    }
    RawClient& Client(std::string const& handle) { return *clients.at(handle); }

    // alice, bob and carol, each with the application "corvane"; alice is connected to carol
    // and then to bob, so that the pair's ids differ: alice knows "bob:2", bob knows "alice:1".
    void OpenStreams() {
        AddAttached("alice", [](AccountConfig& c) { c.friends = {"bob"}; });
        AddAttached("bob");
        AddAttached("carol");
        for (char const* handle : {"alice", "bob", "carol"}) {
            ASSERT_EQ(Client(handle).Command("CREATE APPLICATION corvane"), "CREATE APPLICATION corvane");
        }
        ASSERT_TRUE(Client("alice").Command("ALTER APPLICATION corvane CONNECT carol"));
        ASSERT_TRUE(WaitForExactly(Client("alice"), "APPLICATION corvane STREAMS carol:1"));
        ASSERT_TRUE(Client("alice").Command("ALTER APPLICATION corvane CONNECT bob"));
        ASSERT_TRUE(WaitForExactly(Client("alice"), "APPLICATION corvane STREAMS carol:1 bob:2"));
        ASSERT_TRUE(WaitForExactly(Client("bob"), "APPLICATION corvane STREAMS alice:1"));
        for (char const* handle : {"alice", "bob", "carol"}) {
            Client(handle).Notifications().Clear();
        }
    }

    // Starts again with an empty network.
    void Reset() {
        clients.clear();
        configs.clear();
        sim = std::make_unique<SkypeSimulator>();
    }

    std::unique_ptr<SkypeSimulator> sim = std::make_unique<SkypeSimulator>();
    std::map<std::string, AccountConfig> configs;
    std::map<std::string, std::unique_ptr<RawClient>> clients;
};

}  // namespace skypesim_test
