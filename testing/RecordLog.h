#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// Lines of text that threads add and tests wait for, in the order they came.
class RecordLog {
public:
    void Add(std::string const& record);
    std::vector<std::string> Records() const;
    // Waits until `record` was added `count` times.
    bool WaitFor(std::string const& record, unsigned timeoutMs, int count = 1) const;
    // The records up to and including the first `record`, which are then forgotten; empty
    // when it did not come in time.
    std::vector<std::string> TakeThrough(std::string const& record, unsigned timeoutMs);
    void Clear();

private:
    mutable std::mutex mMutex;
    mutable std::condition_variable mChanged;
    std::vector<std::string> mRecords;
};
