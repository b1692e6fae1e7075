#pragma once

#include <windows.h>

// A recursive lock: the owning thread may enter it again.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&mSection); }
    ~CriticalSection() { DeleteCriticalSection(&mSection); }
    CriticalSection(CriticalSection const&) = delete;
    CriticalSection& operator=(CriticalSection const&) = delete;

    void Lock() { EnterCriticalSection(&mSection); }
    void Unlock() { LeaveCriticalSection(&mSection); }

private:
    CRITICAL_SECTION mSection;
};

// Holds a CriticalSection for the lifetime of the scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : mSection(section) { mSection.Lock(); }
    ~CriticalSectionLock() { mSection.Unlock(); }
    CriticalSectionLock(CriticalSectionLock const&) = delete;
    CriticalSectionLock& operator=(CriticalSectionLock const&) = delete;

private:
    CriticalSection& mSection;
};
