#include "RecordLog.h"

#include <algorithm>

void RecordLog::Add(std::string const& record) {
    std::lock_guard<std::mutex> lock(mMutex);
    mRecords.push_back(record);
    mChanged.notify_all();
}

std::vector<std::string> RecordLog::Records() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mRecords;
}

bool RecordLog::WaitFor(std::string const& record, unsigned timeoutMs, int count) const {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return std::count(mRecords.begin(), mRecords.end(), record) >= count; });
}

std::vector<std::string> RecordLog::TakeThrough(std::string const& record, unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mMutex);
    std::vector<std::string>::iterator found;
    bool came = mChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        found = std::find(mRecords.begin(), mRecords.end(), record);
        return found != mRecords.end();
    });
    if (!came) {
        return {};
    }
    std::vector<std::string> taken(mRecords.begin(), found + 1);
    mRecords.erase(mRecords.begin(), found + 1);
    return taken;
}

void RecordLog::Clear() {
    std::lock_guard<std::mutex> lock(mMutex);
    mRecords.clear();
}
