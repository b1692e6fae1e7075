#include "input/InputReplay.h"

#include <windows.h>

#include <cstdint>

#include "foundation/CorvaneLogging.h"
#include "foundation/DesktopUtil.h"
#include "network/ControlMessages.h"

namespace {

constexpr unsigned kKeyDown = 0x100;
constexpr unsigned kKeyUp = 0x101;
constexpr unsigned kSysKeyDown = 0x104;
constexpr unsigned kSysKeyUp = 0x105;
constexpr unsigned kFirstKeyMessage = 0x100;
constexpr unsigned kLastKeyMessage = 0x109;

constexpr unsigned kMouseMove = 0x200;
constexpr unsigned kLeftDoubleClick = 0x203;
constexpr unsigned kMouseWheel = 0x20A;
constexpr long kExtendedKeyBit = 0x01000000;

struct MouseFlags {
    unsigned message;
    DWORD flags;
};

// The button messages and the input they make; the right and middle double clicks make none.
MouseFlags const kMouseFlags[] = {
    {kMouseMove, MOUSEEVENTF_MOVE},   {0x201, MOUSEEVENTF_LEFTDOWN},
    {0x202, MOUSEEVENTF_LEFTUP},      {kLeftDoubleClick, MOUSEEVENTF_LEFTDOWN},
    {0x204, MOUSEEVENTF_RIGHTDOWN},   {0x205, MOUSEEVENTF_RIGHTUP},
    {0x207, MOUSEEVENTF_MIDDLEDOWN},  {0x208, MOUSEEVENTF_MIDDLEUP},
    {kMouseWheel, MOUSEEVENTF_WHEEL},
};

}  // namespace

bool InputReplay::Replay(WindowEventNetMsg const& message) {
    unsigned const number = message.GetMessageW();
    if (number < kMouseMove) {
        return ReplayKey(number, message.GetWParam(), message.GetLParam());
    }
    return ReplayMouse(number, message.GetWParam(), message.GetLParam());
}

long InputReplay::Normalise(int position, int extent) {
    std::int64_t const scaled = std::int64_t(position) << 16;
    // Integer division truncates toward zero, which rounds a negative value away from it
    // already; a positive one is rounded up by hand.
    return static_cast<long>(scaled >= 0 ? (scaled + extent - 1) / extent : scaled / extent);
}

bool InputReplay::ReplayKey(unsigned message, unsigned wParam, long lParam) {
    if (message != kKeyDown && message != kKeyUp && message != kSysKeyDown && message != kSysKeyUp) {
        return false;
    }
    DWORD flags = (message == kKeyUp || message == kSysKeyUp) ? KEYEVENTF_KEYUP : 0;
    if (lParam & kExtendedKeyBit) {
        flags |= KEYEVENTF_EXTENDEDKEY;
    }
    keybd_event(static_cast<BYTE>(wParam & 0xFF), 0, flags, 0);
    // The replaying thread's own queue must not keep a key message of its own.
    MSG pending;
    PeekMessageW(&pending, nullptr, kFirstKeyMessage, kLastKeyMessage, PM_REMOVE);
    return true;
}

bool InputReplay::ReplayMouse(unsigned message, unsigned wParam, long lParam) {
    DWORD flags = 0;
    for (MouseFlags const& entry : kMouseFlags) {
        if (entry.message == message) {
            flags = entry.flags;
        }
    }
    if (!flags) {
        return false;
    }
    SIZE const desktop = DesktopUtil::GetDesktopResolution();
    if (desktop.cx <= 0 || desktop.cy <= 0) {
        return false;
    }
    int const x = static_cast<short>(lParam & 0xFFFF);
    int const y = static_cast<short>((lParam >> 16) & 0xFFFF);
    CORVANE_LOG(" mouse pos: " << x << "x" << y);
    long const ax = Normalise(x, desktop.cx);
    long const ay = Normalise(y, desktop.cy);
    if (message == kLeftDoubleClick) {
        ReplayDoubleClick(ax, ay);
        return true;
    }
    DWORD const data = message == kMouseWheel ? static_cast<DWORD>(static_cast<short>(wParam >> 16)) : 0;
    mouse_event(flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK, ax, ay, data, 0);
    return true;
}

// Where the cursor already is: the moves before it have put it there.
void InputReplay::ReplayDoubleClick(long x, long y) {
    DWORD const buttons[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN,
                             MOUSEEVENTF_LEFTUP};
    for (DWORD flags : buttons) {
        mouse_event(flags, x, y, 0, 0);
    }
}
