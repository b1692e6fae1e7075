#pragma once

#include "CorvaneApi.h"

// A recursive lock: the owning thread may enter it again. Holds the system's critical section
// in storage of its own, so that the many headers with a lock need not include <windows.h>.
class CORVANE_API CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(CriticalSection const&) = delete;
    CriticalSection& operator=(CriticalSection const&) = delete;

    void Lock();
    void Unlock();

private:
    // A CRITICAL_SECTION of 64-bit Windows; CriticalSection.cpp checks size and alignment.
    alignas(8) unsigned char mSection[40];
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
