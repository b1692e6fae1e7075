#pragma once

#include <memory>

// One detected screen change as the tracker hands it to its subscribers: a change packet
// (u32 rectangle count, then per rectangle u16 left, top, right, bottom and its pixels) and
// what is needed to read it. Valid only during the call that raises it.
class IScreenChange {
public:
    virtual void const* GetData() const = 0;
    virtual unsigned long GetDataSize() const = 0;
    virtual ~IScreenChange() = default;

    // The frame the packet belongs to, in pixels.
    int width = 0;
    int height = 0;
    // 1 (3-3-2), 2 (5-6-5) or 3 (blue, green, red).
    int bytesPerPixel = 0;
    // Milliseconds since the mode raised its previous change; 0 for its first.
    int timing = 0;
    // The packet gives again pixels the viewer holds only lossy or not at all: it must go
    // without loss.
    bool exact = false;
    // What a subscriber made of the packet, left for the next subscriber of the same change
    // (they are called one after the other on the tracker thread); empty at first. It may
    // keep what it holds beyond the raise.
    std::shared_ptr<void> memo;
};
