#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

#include "skypesim/RawClient.h"
#include "skypesim/SkypeSimulator.h"

namespace skypesim_test {

using skypesim::AccountConfig;
using skypesim::RawClient;

constexpr unsigned kWait = 5000;  // ms: generous, only reached when something is wrong

// An account whose discover and attach messages no other test's messenger hears.
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

// Waits for a notification equal to `text`, taking any others that start like it.
inline bool WaitForExactly(RawClient& client, std::string const& text, unsigned timeoutMs = kWait) {
    for (DWORD start = GetTickCount(), spent = 0; spent < timeoutMs; spent = GetTickCount() - start) {
        std::optional<std::string> found = client.WaitForNotification(text, timeoutMs - spent);
        if (!found || *found == text) {
            return found.has_value();
        }
    }
    return false;
}

}  // namespace skypesim_test
