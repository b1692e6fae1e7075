#pragma once

#include <windows.h>

#include <string>

// The thread-local slot that holds each thread's name for the log. One process-wide slot,
// allocated when the library loads and released when it unloads.
class ThreadNameSlot {
public:
    ThreadNameSlot();
    ~ThreadNameSlot();
    ThreadNameSlot(ThreadNameSlot const&) = delete;
    ThreadNameSlot& operator=(ThreadNameSlot const&) = delete;

    // The calling thread's name, empty when it has none.
    std::string Get() const;
    // Stores a copy of the name for the calling thread, replacing the previous one.
    void Set(std::string const& name);
    // Frees the calling thread's name; a thread calls it as it ends.
    void Clear();

    // The process-wide slot, or null outside the library's lifetime.
    static ThreadNameSlot* Find() { return mInstance; }
    // The process-wide slot; raises BaseError "Tls not allocated" when it could not be made.
    static ThreadNameSlot& GetInstance();

private:
    static ThreadNameSlot* mInstance;  // the object lives in Core.cpp
    void Check() const;

    DWORD mIndex;
};

// Raises BaseError with the given message; called when the thread-name slot is missing.
[[noreturn]] void ReportThreadTlsError(char const* message);
