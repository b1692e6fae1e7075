#pragma once

#include <windows.h>

// The mirror display driver's device as the library sees it. CQuvixDriver is the real one;
// tests put a fake in its place (CQuvixDriver::SetDevice).
class IQuvixDevice {
public:
    virtual ~IQuvixDevice() = default;
    // Hands the escape block to the driver (no output buffer): the driver's result, 0 or
    // less when the escape failed. Any thread.
    virtual int Escape(unsigned long code, int size, char const* block) = 0;
    // The device's current display mode; false when it cannot be read.
    virtual bool GetDisplayMode(SIZE& mode) = 0;
    // Attaches the driver to the desktop again in `mode`.
    virtual bool Reattach(SIZE const& mode) = 0;
};
