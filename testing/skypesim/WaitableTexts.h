#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace skypesim {

// A thread-safe list of texts that test threads can wait on: commands an account received,
// notifications a client got. Keeps the newest `capacity` texts.
class WaitableTexts {
public:
    explicit WaitableTexts(std::size_t capacity = 100000) : mCapacity(capacity) {}

    void Add(std::string text);
    std::vector<std::string> Snapshot() const;
    void Clear();

    // Waits up to `timeoutMs` for a text that starts with `prefix` (the oldest such one) and
    // returns it; with `take` it is removed from the list. Nothing when the time is up.
    std::optional<std::string> WaitFor(std::string const& prefix, unsigned timeoutMs, bool take);
    // Takes the oldest text, waiting up to `timeoutMs` for one.
    std::optional<std::string> Pop(unsigned timeoutMs);

private:
    std::size_t const mCapacity;
    mutable std::mutex mMutex;
    std::condition_variable mAdded;
    std::deque<std::string> mTexts;
    std::uint64_t mAdds = 0;      // texts ever added
    std::uint64_t mRemovals = 0;  // removals of any kind: positions seen by a waiter are stale
};

}  // namespace skypesim
