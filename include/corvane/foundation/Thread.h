#pragma once

#include <atomic>
#include <exception>
#include <string>

#include "foundation/Event.h"
#include "foundation/SyncEvent.h"
#include "foundation/WinTypes.h"

// The id of the thread that built it: the process-wide one is built while the library loads.
struct MainThreadId {
    MainThreadId();
    DWORD value;
};

// A named worker thread: a start handshake, a stop event that asks the body to end and a
// stopped event that the thread signals when its body has returned. The body is Do(): by
// default it raises the functions bound with Bind(); derived classes override it, and join
// in their own destructor, since the body must not outlive the derived part of the object.
// Start, Join, Terminate and the other members are called from the owning thread.
class Thread {
public:
    // Nothing is started yet.
    explicit Thread(std::string const& name);
    // Joins for 100 ms, then kills a thread that is still running.
    virtual ~Thread();
    Thread(Thread const&) = delete;
    Thread& operator=(Thread const&) = delete;

    // Adds a function to the default body; a null function adds an empty delegate.
    void Bind(void (*function)());
    // Adds a delegate to the default body; the bound object must outlive the thread.
    void Bind(Delegate0 const& body);

    // Starts the thread and waits up to 1000 ms for it to report that it runs. Raises
    // SystemError when the thread cannot be made or does not answer (it is left running).
    // Does not reset the stop event: a restart calls ResetStopEvent() first.
    void Start();
    // Sets the stop event and waits up to `timeout` ms for the thread to end. True when no
    // thread runs any more; otherwise false, after killing the thread when `terminate` is set.
    bool Join(unsigned long timeout, bool terminate);
    // Kills the running thread with the exit code; nothing without a thread.
    void Terminate(int exitCode);
    // True while the thread has not ended. A thread whose state the system cannot report is
    // taken as gone (and logged): nothing could wait on it or kill it either.
    bool IsAlive() const;
    void Suspend();
    void Resume();
    // A system thread priority (THREAD_PRIORITY_*); nothing without a thread.
    void SetPriority(int priority);

    DWORD GetId() const { return mId; }
    SyncEvent const& GetStopEvent() const { return mStopEvent; }
    SyncEvent& GetIsStoppedEvent() { return mIsStoppedEvent; }
    void SetStopEvent() { mStopEvent.Set(); }
    void ResetStopEvent() { mStopEvent.Reset(); }
    void SetStoppedEvent() { mIsStoppedEvent.Set(); }

    // Stores the name and, for a running thread, tells an attached debugger.
    void SetName(std::string const& name);

    // Raised on the ending thread when an exception escapes its body: the exception, or null
    // for one that is not a std::exception. The pointer is valid during the call only.
    static Event<std::exception const*> OnThreadException;  // the object lives in Core.cpp

    // "main" on the thread that loaded the library; otherwise the calling thread's stored
    // name, empty when it has none.
    static std::string GetCurrentThreadName();
    // Stores a copy of the name for the calling thread.
    static void SetCurrentThreadName(std::string const& name);

    // The id of the thread that loaded the library.
    static DWORD GetMainThreadId() { return mMainThreadId.value; }

protected:
    // The thread's body. A body that loops watches GetStopEvent() and returns when it is set.
    virtual void Do();

private:
    static MainThreadId mMainThreadId;  // the object lives in Core.cpp

    static DWORD __stdcall ThreadProc(void* parameter);
    void RunGuarded();
    void ReleaseHandle();

    Event0 mRun;
    SyncEvent mStartedEvent;
    // The running thread's handle; the thread clears it as it ends. It is a copy of
    // mOwnedHandle, which stays open until the owner is done with it, so a Join that is
    // already waiting keeps a valid handle.
    std::atomic<HANDLE> mThread{nullptr};
    DWORD mId = 0;
    std::string mName;
    SyncEvent mStopEvent;
    SyncEvent mIsStoppedEvent;
    HANDLE mOwnedHandle = nullptr;  // owned; closed by Join, Terminate, the next Start or the destructor
};
