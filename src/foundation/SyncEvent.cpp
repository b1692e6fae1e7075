#include "foundation/SyncEvent.h"

#include <windows.h>

#include "foundation/Errors.h"

SyncEvent::SyncEvent() : mEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!mEvent) {
        Raise(SystemError("Failed to create sync event", GetLastError()));
    }
}

SyncEvent::~SyncEvent() {
    CloseHandle(mEvent);
}

unsigned long SyncEvent::Wait(unsigned long timeout) const {
    return WaitForSingleObject(mEvent, timeout);
}

unsigned long SyncEvent::Wait(SyncEvent const& first, SyncEvent const& second, unsigned long timeout) {
    HANDLE const events[] = {first.mEvent, second.mEvent};
    // Waiting for any one: the system signals and consumes only the one that ended the wait.
    return WaitForMultipleObjects(2, events, FALSE, timeout);
}

void SyncEvent::Set() {
    SetEvent(mEvent);
}

void SyncEvent::Reset() {
    ResetEvent(mEvent);
}
