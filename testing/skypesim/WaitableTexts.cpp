#include "skypesim/WaitableTexts.h"

#include <chrono>

namespace skypesim {

void WaitableTexts::Add(std::string text) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mTexts.push_back(std::move(text));
        ++mAdds;
        if (mTexts.size() > mCapacity) {
            mTexts.pop_front();
            ++mRemovals;
        }
    }
    mAdded.notify_all();
}

std::vector<std::string> WaitableTexts::Snapshot() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return std::vector<std::string>(mTexts.begin(), mTexts.end());
}

void WaitableTexts::Clear() {
    std::lock_guard<std::mutex> lock(mMutex);
    mTexts.clear();
    ++mRemovals;
}

std::optional<std::string> WaitableTexts::WaitFor(std::string const& prefix, unsigned timeoutMs, bool take) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mMutex);
    std::size_t checked = 0;  // texts before this index did not match
    for (;;) {
        std::uint64_t adds = mAdds;
        std::uint64_t removals = mRemovals;
        for (; checked < mTexts.size(); ++checked) {
            if (mTexts[checked].compare(0, prefix.size(), prefix) == 0) {
                std::string found = mTexts[checked];
                if (take) {
                    mTexts.erase(mTexts.begin() + checked);
                    ++mRemovals;
                }
                return found;
            }
        }
        if (!mAdded.wait_until(lock, deadline, [&] { return mAdds != adds; })) {
            return std::nullopt;
        }
        if (mRemovals != removals) {
            checked = 0;
        }
    }
}

std::optional<std::string> WaitableTexts::Pop(unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mMutex);
    if (!mAdded.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !mTexts.empty(); })) {
        return std::nullopt;
    }
    std::string front = std::move(mTexts.front());
    mTexts.pop_front();
    ++mRemovals;
    return front;
}

}  // namespace skypesim
