#pragma once

#include <windows.h>

#include <functional>

// Runs a message loop on the calling thread, as a host's main loop would: every message goes
// to HandleSyncMessage and is then dispatched. Returns true as soon as `done` answers true,
// false when `timeoutMs` passed first. `done` is asked often, so it must not consume anything
// (an auto-reset event, say). An exception from HandleSyncMessage leaves it.
bool PumpMessagesUntil(std::function<bool()> const& done, DWORD timeoutMs);
