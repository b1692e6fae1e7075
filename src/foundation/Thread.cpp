#include "foundation/Thread.h"

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/ThreadNameSlot.h"

namespace {

constexpr unsigned long kStartTimeoutMs = 1000;
constexpr unsigned long kDestructorJoinMs = 100;
constexpr std::size_t kLoggedExceptionChars = 80;

// The exception a debugger takes as "name this thread" (the record: 0x1000, name, id, flags).
constexpr DWORD kSetThreadNameException = 0x406D1388;
constexpr ULONG_PTR kSetThreadNameType = 0x1000;

LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* pointers) {
    return pointers->ExceptionRecord->ExceptionCode == kSetThreadNameException ? EXCEPTION_CONTINUE_EXECUTION
                                                                               : EXCEPTION_CONTINUE_SEARCH;
}

// A debugger sees the exception first; without one, the handler installed around the raise
// lets execution go on, so the exception never reaches anybody else.
void AnnounceThreadName(std::string const& name, DWORD threadId) {
    void* handler = AddVectoredExceptionHandler(1, &ContinueAfterThreadName);
    if (!handler) {
        return;  // nothing would catch it
    }
    // On 64 bits the record's id and flags share the third word.
    ULONG_PTR const record[] = {kSetThreadNameType, reinterpret_cast<ULONG_PTR>(name.c_str()), threadId};
    RaiseException(kSetThreadNameException, 0, sizeof(record) / sizeof(record[0]), record);
    RemoveVectoredExceptionHandler(handler);
}

// The slot is gone when a thread ends while the library unloads.
void ForgetCurrentThreadName() {
    if (ThreadNameSlot* slot = ThreadNameSlot::Find()) {
        slot->Clear();
    }
}

}  // namespace

Thread::Thread(std::string const& name) : mName(name) {}

Thread::~Thread() {
    if (!Join(kDestructorJoinMs, false) && IsAlive()) {
        Terminate(0);
        CORVANE_LOG("Thread " << mName << " was not properly terminated");
    }
    ReleaseHandle();
}

void Thread::Bind(void (*function)()) {
    mRun.Add(function);
}

void Thread::Bind(Delegate0 const& body) {
    mRun.Add(body);
}

void Thread::Do() {
    mRun();
}

void Thread::Start() {
    mIsStoppedEvent.Reset();
    mStartedEvent.Reset();  // a late answer of an earlier start must not count
    ReleaseHandle();
    DWORD begin = GetTickCount();
    DWORD id = 0;
    // Suspended until the handle is recorded, so a body that ends at once clears a set field.
    HANDLE handle = CreateThread(nullptr, 0, &Thread::ThreadProc, this, CREATE_SUSPENDED, &id);
    DWORD error = GetLastError();
    if (handle) {
        mOwnedHandle = handle;
        mThread = handle;
        mId = id;
        ResumeThread(handle);
    }
    CORVANE_LOG("CreateThread " << mName << " took " << GetTickCount() - begin << " msec");
    if (!handle) {
        Raise(SystemError("Can't create thread", error));
    }
    DWORD waitBegin = GetTickCount();
    if (mStartedEvent.Wait(kStartTimeoutMs) != WAIT_OBJECT_0) {
        Raise(SystemError("Thread started but did not respond that it is", GetLastError()));
    }
    CORVANE_LOG("Thread " << mName << " startup took " << GetTickCount() - waitBegin << " msec");
    if (!mName.empty()) {
        SetName(mName);
    }
}

MainThreadId::MainThreadId() : value(GetCurrentThreadId()) {}

DWORD WINAPI Thread::ThreadProc(void* parameter) {
    auto self = static_cast<Thread*>(parameter);
    // Read once: the owner may rename the object while the body runs.
    std::string const name = self->mName;
    SetCurrentThreadName(name);
    CORVANE_LOG("Thread " << name << " start");
    self->mStartedEvent.Set();
    self->RunGuarded();
    self->mIsStoppedEvent.Set();
    CORVANE_LOG("Thread " << name << " exit");
    // The last touch of the object: from here on its owner may delete it.
    self->mThread = nullptr;
    ForgetCurrentThreadName();
    return 0;
}

void Thread::RunGuarded() {
    try {
        try {
            Do();
            return;
        } catch (std::exception const& error) {
            CORVANE_LOG("Thread exception: " << std::string(error.what()).substr(0, kLoggedExceptionChars));
            OnThreadException(&error);
        } catch (...) {
            CORVANE_LOG("Unknown thread exception\n");
            OnThreadException(nullptr);
        }
    } catch (...) {
        // A throwing exception handler must not end the process: the thread still ends normally.
    }
}

bool Thread::Join(unsigned long timeout, bool terminate) {
    if (!mThread) {
        ReleaseHandle();
        return true;
    }
    SetStopEvent();
    DWORD result = WaitForSingleObject(mOwnedHandle, timeout);
    if (!mThread || result == WAIT_OBJECT_0) {
        mThread = nullptr;
        ReleaseHandle();
        return true;
    }
    if (terminate && IsAlive()) {
        Terminate(0);
    }
    return false;
}

void Thread::Terminate(int exitCode) {
    if (!mThread) {
        return;
    }
    if (TerminateThread(mOwnedHandle, static_cast<DWORD>(exitCode))) {
        CORVANE_LOG("Thread " << mName << " was terminated");
    } else {
        CORVANE_LOG("Couldn't terminate thread");
    }
    mThread = nullptr;
    ReleaseHandle();
}

bool Thread::IsAlive() const {
    HANDLE handle = mThread;
    if (!handle) {
        return false;
    }
    DWORD code = 0;
    if (!GetExitCodeThread(handle, &code)) {
        CORVANE_LOG("Can't determine thread status");
        return false;
    }
    return code == STILL_ACTIVE;
}

void Thread::Suspend() {
    if (HANDLE handle = mThread) {
        SuspendThread(handle);
    }
}

void Thread::Resume() {
    if (HANDLE handle = mThread) {
        ResumeThread(handle);
    }
}

void Thread::SetPriority(int priority) {
    if (HANDLE handle = mThread) {
        SetThreadPriority(handle, priority);
    }
}

void Thread::SetName(std::string const& name) {
    mName = name;
    if (mId != 0) {
        AnnounceThreadName(mName, mId);
    }
}

void Thread::ReleaseHandle() {
    if (mOwnedHandle) {
        CloseHandle(mOwnedHandle);
    }
    mOwnedHandle = nullptr;
    mId = 0;
}

std::string Thread::GetCurrentThreadName() {
    if (GetCurrentThreadId() == mMainThreadId.value) {
        return "main";
    }
    return ThreadNameSlot::GetInstance().Get();
}

void Thread::SetCurrentThreadName(std::string const& name) {
    ThreadNameSlot::GetInstance().Set(name);
}
