#pragma once

#include <windows.h>

#include <functional>

// A system thread (CreateThread) that runs one function, for the simulator, tests, the demo
// and benchmarks: under Wine a std::thread now and then never starts, a CreateThread one does.
// Plain Win32, so programs that do not link the library can use it. Start, Join, Detach and
// the destructor are called by the owning thread.
class WorkerThread {
public:
    WorkerThread() = default;
    // Starts `body` at once (see Start).
    explicit WorkerThread(std::function<void()> body) { Start(std::move(body)); }
    // Waits for the body to return.
    ~WorkerThread() { Join(); }
    WorkerThread(WorkerThread&& other) noexcept;
    // Joins the thread this one held first.
    WorkerThread& operator=(WorkerThread&& other) noexcept;
    WorkerThread(WorkerThread const&) = delete;
    WorkerThread& operator=(WorkerThread const&) = delete;

    // Runs `body` on a new thread; throws std::runtime_error when the system cannot make one.
    // A thread already held is joined first.
    void Start(std::function<void()> body);
    // Waits up to `timeoutMs` for the body to return: true when it has, or when no thread is
    // held; the thread stays held (and joined by the destructor) after a time-out.
    bool Join(DWORD timeoutMs = INFINITE);
    // Lets the thread run on by itself; its body must not need this object.
    void Detach();
    bool IsHeld() const { return mHandle != nullptr; }
    // The running thread's id; 0 when none is held.
    DWORD GetId() const { return mId; }

private:
    static DWORD WINAPI Run(void* body);

    HANDLE mHandle = nullptr;  // owned
    DWORD mId = 0;
};
