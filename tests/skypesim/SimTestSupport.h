#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
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

// The last notification before the client has been quiet for `quietMs`; empty without one.
inline std::string LastNotification(RawClient& client, unsigned quietMs = kQuiet) {
    std::string last;
    while (std::optional<std::string> next = client.Notifications().Pop(quietMs)) {
        last = *next;
    }
    return last;
}

// Waits for a notification equal to `text`, passing over (and taking) others that start like it.
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

}  // namespace skypesim_test
