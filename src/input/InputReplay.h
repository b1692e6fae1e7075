#pragma once

class WindowEventNetMsg;

// Replays the viewer's keyboard and mouse window messages on the sharing machine as system
// input (keybd_event, mouse_event). Positions are pixels of this machine's desktop. Only key
// down and up (0x100, 0x101, 0x104, 0x105) and the mouse messages 0x200 to 0x20A are replayed.
// Static; runs on the thread that delivers the peer's messages.
class InputReplay {
public:
    // True when the message was turned into input, false when it is ignored.
    static bool Replay(WindowEventNetMsg const& message);

    // A position in pixels as the absolute mouse coordinate of a desktop `extent` pixels wide
    // (or high), rounded away from the origin so that the system's truncating mapping back
    // lands on the same pixel. `extent` must be above 0.
    static long Normalise(int position, int extent);

private:
    static bool ReplayKey(unsigned message, unsigned wParam, long lParam);
    static bool ReplayMouse(unsigned message, unsigned wParam, long lParam);
    static void ReplayDoubleClick(long x, long y);
};
