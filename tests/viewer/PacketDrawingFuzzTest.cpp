#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "../capture/CapturePackets.h"
#include "SurfacePixels.h"
#include "foundation/Errors.h"
#include "viewer/RemoteScreenSurface.h"

namespace {

using Bytes = std::vector<unsigned char>;

COLORREF const kUnpainted = RGB(1, 2, 3);
SIZE const kSurface = {64, 48};

// The bytes placed so that they end where a page that may not be read begins: a walk that
// reads past the packet faults.
class GuardedBytes {
public:
    explicit GuardedBytes(Bytes const& bytes) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        std::size_t page = system.dwPageSize;
        std::size_t span = (bytes.size() + page) / page * page;
        mBase = static_cast<unsigned char*>(
            VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(mBase + span, page, PAGE_NOACCESS, &old);
        mData = mBase + span - bytes.size();
        std::memcpy(mData, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { VirtualFree(mBase, 0, MEM_RELEASE); }
    unsigned char const* Data() const { return mData; }

private:
    unsigned char* mBase;
    unsigned char* mData;
};

// The test's own walk: what the surface should show and which areas were painted.
struct Expected {
    std::vector<COLORREF> pixels = std::vector<COLORREF>(std::size_t(kSurface.cx * kSurface.cy), kUnpainted);
    std::vector<RECT> painted;

    void Walk(Bytes const& packet, int bytesPerPixel) {
        std::size_t size = packet.size();
        std::uint32_t count = 0;
        std::memcpy(&count, packet.data(), size >= 4 ? 4 : 0);
        std::size_t at = 4;
        for (std::uint32_t i = 0; size >= 4 && i < count && size - at >= 8; ++i) {
            auto edge = [&](int n) { return long(packet[at + 2 * n] | packet[at + 2 * n + 1] << 8); };
            RECT rect = {edge(0), edge(1), edge(2), edge(3)};
            std::uint64_t bytes =
                std::uint64_t(rect.right - rect.left) * (rect.bottom - rect.top) * bytesPerPixel;
            if (rect.right < rect.left || rect.bottom < rect.top || bytes > size - at - 8) {
                return;
            }
            Paint(rect, &packet[at + 8], bytesPerPixel);
            at += 8 + std::size_t(bytes);
        }
    }

    void Paint(RECT const& rect, unsigned char const* source, int bytesPerPixel) {
        long width = rect.right - rect.left;
        RECT clip = {rect.left, rect.top, std::min(rect.right, kSurface.cx),
                     std::min(rect.bottom, kSurface.cy)};
        if (clip.left >= clip.right || clip.top >= clip.bottom) {
            return;
        }
        painted.push_back(clip);
        for (long y = clip.top; y < clip.bottom; ++y) {
            for (long x = clip.left; x < clip.right; ++x) {
                std::size_t from = (std::size_t(y - rect.top) * width + (x - rect.left)) * bytesPerPixel;
                pixels[std::size_t(y * kSurface.cx + x)] = ExpandedColour(source + from, bytesPerPixel);
            }
        }
    }
};

// A packet with a few records near and beyond the surface's edges, some reversed or claiming
// far more pixels than follow, a count that may disagree, and sometimes cut short anywhere.
Bytes RandomPacket(std::mt19937& random, int bytesPerPixel) {
    auto below = [&](unsigned limit) { return long(random() % limit); };
    int records = int(below(5));
    Bytes packet = NewPacket(std::uint32_t(std::max(0L, records + below(4) - 1)));
    for (int i = 0; i < records; ++i) {
        long kind = below(20);
        RECT rect = {below(90), below(70), 0, 0};
        rect.right = rect.left + below(40);
        rect.bottom = rect.top + below(30);
        std::size_t bytes = std::size_t((rect.right - rect.left) * (rect.bottom - rect.top)) * bytesPerPixel;
        if (kind == 0) {
            std::swap(rect.left, rect.right);
        } else if (kind == 1 || kind == 2) {  // 45761 x 62571 x 3 is 1 modulo 2^32
            rect = kind == 1 ? RECT{0, 0, 45761, 62571} : RECT{0, 0, 65535, 65535};
            bytes = std::size_t(below(16));
        }
        Bytes pixels(bytes);
        for (unsigned char& byte : pixels) {
            byte = static_cast<unsigned char>(random());
        }
        AppendRecord(packet, rect, pixels);
    }
    if (below(5) == 0) {
        packet.resize(std::size_t(below(unsigned(packet.size()) + 1)));
    }
    return packet;
}

// Random packets drawn through the surface show exactly what the test's own walk paints (in
// order, clipped to the surface, ended by a cut-off header or pixels, reversed edges or a size
// that only fits in 32 bits), with the union of exactly those areas as the region; they never
// read past the packet and raise nothing but the library's errors.
TEST(PacketDrawingFuzzTest, RandomPacketsDrawOnlyWhatTheyHold) {
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(kSurface));
    for (unsigned seed = 1; seed <= 12000; ++seed) {
        std::mt19937 random(seed);
        int bytesPerPixel = 1 + int(random() % 3);
        Bytes const packet = RandomPacket(random, bytesPerPixel);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(packet.size()) + " bytes at " +
                     std::to_string(bytesPerPixel));
        GuardedBytes guarded(packet);
        FillSurface(surface, kUnpainted);
        HRGN region = nullptr;
        try {
            region =
                surface.DrawPacket(guarded.Data(), static_cast<unsigned long>(packet.size()), bytesPerPixel);
        } catch (BaseError const&) {
        } catch (...) {
            ADD_FAILURE() << "an exception that is not the library's";
        }
        Expected expected;
        expected.Walk(packet, bytesPerPixel);
        HRGN expectedRegion = RegionOf(expected.painted);
        ASSERT_NE(region, nullptr);
        EXPECT_TRUE(EqualRgn(region, expectedRegion));
        DeleteObject(expectedRegion);
        DeleteObject(region);
        Picture picture = surface.Snapshot();
        int wrong = 0;
        for (long y = 0; y < kSurface.cy; ++y) {
            for (long x = 0; x < kSurface.cx; ++x) {
                wrong += PixelAt(picture, x, y) != expected.pixels[std::size_t(y * kSurface.cx + x)];
            }
        }
        ASSERT_EQ(wrong, 0);
    }
}

}  // namespace
