#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/ChangePacketReader.h"
#include "capture/FrameBufferOut.h"

// One change packet as the tests read it.
struct CapturePacket {
    bool present = false;
    std::uint32_t count = 0;
    RECT rect = {0, 0, 0, 0};  // the first rectangle
    std::vector<RECT> rects;   // every rectangle
    std::vector<unsigned char> bytes;
};

inline std::vector<RECT> PacketRects(std::vector<unsigned char> const& bytes, int bytesPerPixel) {
    std::vector<RECT> rects;
    ChangePacketReader reader(bytes.data(), bytes.size(), bytesPerPixel);
    ChangePacketRecord record;
    while (reader.Next(record)) {
        rects.push_back(record.rect);
    }
    return rects;
}

// A packet's bytes as the tests read them.
inline CapturePacket ReadPacket(void const* data, unsigned long size, int bytesPerPixel) {
    CapturePacket packet;
    packet.present = true;
    packet.bytes.assign(static_cast<unsigned char const*>(data),
                        static_cast<unsigned char const*>(data) + size);
    std::memcpy(&packet.count, packet.bytes.data(), std::min<std::size_t>(size, 4));
    packet.rects = PacketRects(packet.bytes, bytesPerPixel);
    packet.rect = packet.rects.empty() ? RECT{0, 0, 0, 0} : packet.rects[0];
    return packet;
}

// The buffer's next packet (released again); `present` is false when there was none.
inline CapturePacket TakePacket(CFrameBufferOut& buffer) {
    void* data = nullptr;
    unsigned long size = 0;
    int owned = -1;
    if (!buffer.GetData(data, size, owned)) {
        return CapturePacket();
    }
    CapturePacket packet = ReadPacket(data, size, buffer.GetBytesPerPixel());
    if (owned) {
        buffer.FreeData(data);
    }
    return packet;
}

inline std::string Describe(RECT const& rect) {
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
}

inline std::string Describe(std::vector<RECT> const& rects) {
    std::string text;
    for (RECT const& rect : rects) {
        text += (text.empty() ? "" : " ") + Describe(rect);
    }
    return text;
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

// A change packet as a test writes it: the count, then records appended one by one.
inline std::vector<unsigned char> NewPacket(std::uint32_t count) {
    return {static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
            static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
}

inline void AppendRecord(std::vector<unsigned char>& packet, RECT const& rect,
                         std::vector<unsigned char> const& pixels) {
    for (long edge : {rect.left, rect.top, rect.right, rect.bottom}) {
        packet.push_back(static_cast<unsigned char>(edge));
        packet.push_back(static_cast<unsigned char>(edge >> 8));
    }
    packet.insert(packet.end(), pixels.begin(), pixels.end());
}

// The viewer's reading of one packed pixel, written out from the formats' rules: 3-3-2 through
// the middle of each step or one of the exact colours, 5-6-5 raised a little, B, G, R as is.
inline COLORREF ExpandedColour(unsigned char const* pixel, int bytesPerPixel) {
    if (bytesPerPixel == 3) {
        return RGB(pixel[2], pixel[1], pixel[0]);
    }
    if (bytesPerPixel == 2) {
        int v = pixel[0] | pixel[1] << 8;
        return RGB((v >> 8 & 0xF8) + 3, (v >> 3 & 0xFC) | 1, ((v & 0x1F) << 3) + 3);
    }
    static int const exact[][4] = {
        {0, 0, 0, 0x00},       {128, 128, 128, 0x92}, {0, 0, 128, 0x02},     {0, 128, 128, 0x12},
        {0, 128, 0, 0x10},     {128, 128, 0, 0x90},   {128, 0, 0, 0x80},     {128, 0, 128, 0x82},
        {64, 128, 128, 0x52},  {64, 64, 0, 0x48},     {255, 128, 0, 0xF0},   {128, 64, 0, 0x88},
        {255, 0, 128, 0xE2},   {0, 64, 128, 0x0A},    {255, 255, 255, 0xFF}, {192, 192, 192, 0xDB},
        {0, 0, 255, 0x03},     {0, 255, 255, 0x1F},   {0, 255, 0, 0x1C},     {255, 255, 0, 0xFC},
        {255, 0, 0, 0xE0},     {255, 0, 255, 0xE3},   {128, 255, 255, 0x9F}, {128, 255, 0, 0x9C},
        {255, 255, 128, 0xFE}, {255, 128, 128, 0xF2}, {128, 0, 255, 0x83},   {64, 128, 255, 0x53},
    };
    for (auto const& e : exact) {
        if (e[3] == *pixel) {
            return RGB(e[0], e[1], e[2]);
        }
    }
    int i = *pixel;
    return RGB((i & 0xE0) + 15, (i & 0x1C) * 8 + 15, (i & 0x03) * 64 + 31);
}
