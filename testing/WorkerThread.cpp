#include "WorkerThread.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

WorkerThread::WorkerThread(WorkerThread&& other) noexcept
    : mHandle(std::exchange(other.mHandle, nullptr)), mId(std::exchange(other.mId, 0)) {}

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
    if (this != &other) {
        Join();
        mHandle = std::exchange(other.mHandle, nullptr);
        mId = std::exchange(other.mId, 0);
    }
    return *this;
}

void WorkerThread::Start(std::function<void()> body) {
    Join();
    // The thread owns its body, so a detached thread outlives this object safely.
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, &WorkerThread::Run, owned.get(), 0, &id);
    if (!handle) {
        throw std::runtime_error("CreateThread failed: error " + std::to_string(GetLastError()));
    }
    owned.release();
    mHandle = handle;
    mId = id;
}

bool WorkerThread::Join(DWORD timeoutMs) {
    if (!mHandle) {
        return true;
    }
    if (WaitForSingleObject(mHandle, timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    Detach();
    return true;
}

void WorkerThread::Detach() {
    if (mHandle) {
        CloseHandle(mHandle);
    }
    mHandle = nullptr;
    mId = 0;
}

DWORD WINAPI WorkerThread::Run(void* body) {
    std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
    (*owned)();
    return 0;
}
