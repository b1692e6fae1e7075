#pragma once

#include <windows.h>

#include <string>

// A named inter-process mutex used as a "name taken" marker: holding the handle keeps the
// name taken for every other holder until Unlock(). One object belongs to one thread.
class Mutex {
public:
    Mutex() = default;
    ~Mutex();
    Mutex(Mutex const&) = delete;
    Mutex& operator=(Mutex const&) = delete;

    // True when `name` was already taken by another holder (or by this object already);
    // false when this call created it. The name stays taken until Unlock().
    bool IsLock(std::string const& name);
    void Unlock();

private:
    HANDLE mHandle = nullptr;  // owned
    std::string mName;
};
