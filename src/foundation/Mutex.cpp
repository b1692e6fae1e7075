#include "foundation/Mutex.h"

Mutex::~Mutex() { Unlock(); }

bool Mutex::IsLock(std::string const& name) {
    if (mHandle && mName == name) {
        return true;
    }
    Unlock();
    HANDLE handle = CreateMutexA(nullptr, FALSE, name.c_str());
    DWORD error = GetLastError();
    if (!handle) {
        // The name belongs to another kind of object (or the call failed): it is not ours to take.
        return true;
    }
    mHandle = handle;
    mName = name;
    return error == ERROR_ALREADY_EXISTS;
}

void Mutex::Unlock() {
    if (mHandle) {
        CloseHandle(mHandle);
    }
    mHandle = nullptr;
    mName.clear();
}
