#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/FrameBufferOut.h"

// One change packet as the tests read it.
struct CapturePacket {
    bool present = false;
    std::uint32_t count = 0;
    RECT rect = {0, 0, 0, 0};  // the first rectangle
    std::vector<unsigned char> bytes;
};

// The buffer's next packet (released again); `present` is false when there was none.
inline CapturePacket TakePacket(CFrameBufferOut& buffer) {
    CapturePacket packet;
    void* data = nullptr;
    unsigned long size = 0;
    int owned = -1;
    if (!buffer.GetData(data, size, owned)) {
        return packet;
    }
    packet.present = true;
    packet.bytes.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    if (owned) {
        buffer.FreeData(data);
    }
    auto u16 = [&](std::size_t at) { return long(packet.bytes[at] | packet.bytes[at + 1] << 8); };
    std::memcpy(&packet.count, packet.bytes.data(), 4);
    if (size >= 12) {
        packet.rect = RECT{u16(4), u16(6), u16(8), u16(10)};
    }
    return packet;
}

inline std::string Describe(RECT const& rect) {
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
}

// The test's own reading of the packet formats: 3-3-2 and 5-6-5 with their bias, or B, G, R.
inline std::vector<unsigned char> ReferencePixel(COLORREF colour, int bytesPerPixel) {
    int red = GetRValue(colour);
    int green = GetGValue(colour);
    int blue = GetBValue(colour);
    auto up = [](int value, int by) { return std::min(value + by, 255); };
    if (bytesPerPixel == 1) {
        return {
            static_cast<unsigned char>(up(red, 15) / 32 * 32 + up(green, 15) / 32 * 4 + up(blue, 15) / 64)};
    }
    if (bytesPerPixel == 2) {
        int value = up(red, 3) / 8 * 2048 + up(green, 1) / 4 * 32 + up(blue, 3) / 8;
        return {static_cast<unsigned char>(value & 0xFF), static_cast<unsigned char>(value >> 8)};
    }
    return {static_cast<unsigned char>(blue), static_cast<unsigned char>(green),
            static_cast<unsigned char>(red)};
}
