#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

namespace skypesim {

// Window helpers shared by the simulated messenger and the raw client.

// A hidden top-level window (so that broadcasts reach it) of a class registered on first use,
// on the calling thread. `owner` is what WindowOwner gives the window procedure.
HWND CreateHiddenWindow(wchar_t const* className, WNDPROC procedure, void* owner);

template <typename T>
T* WindowOwner(HWND window) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The text a WM_COPYDATA record carries: up to its first NUL, or all its bytes when it has
// none. Nothing for a record above `limit` bytes.
std::optional<std::string> CopyDataText(LPARAM record, std::size_t limit);

// Sends `text` with its NUL as WM_COPYDATA from `from` to `to`; false when the send failed or
// timed out. Sent messages to the calling thread are handled while it waits.
bool SendText(HWND from, HWND to, std::string const& text, unsigned timeoutMs);

// Up to this many bytes of one text are accepted from the other side.
constexpr std::size_t kMaxTextBytes = 64 * 1024 * 1024;

}  // namespace skypesim
