#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The block handed to the mirror driver with each escape: the UTF-16 name "KVR.Quvix.Escape"
// with its terminator at byte 0, the block's size as u32 at byte 68, the arguments from byte
// 72, all little-endian.
class QuvixEscapeBlock {
public:
    static constexpr unsigned long kMapSurface = 0x63741C99;
    static constexpr unsigned long kUnmapSurface = 0x63741C9A;
    static constexpr unsigned long kFetchChanges = 0x63741C9C;
    static constexpr unsigned long kFetchCursorShape = 0x63741C9D;
    // Map's result for a surface the driver could not map.
    static constexpr std::uint32_t kNoSurface = 0xFFFFFFFF;

    static constexpr std::size_t kSizeOffset = 68;
    static constexpr std::size_t kArguments = 72;
    // Map: bytes per pixel, width, height, tile size (u32 each), then the shared buffer's
    // address and size (u64 each: a 64-bit address does not fit the 32-bit slots).
    static constexpr std::size_t kMapBlockSize = kArguments + 32;
    // Unmap and the fetches: the surface id (u32).
    static constexpr std::size_t kSurfaceBlockSize = kArguments + 4;

    static QuvixEscapeBlock Map(int bytesPerPixel, int width, int height, int tile, void const* buffer,
                                std::uint64_t bufferSize);
    static QuvixEscapeBlock ForSurface(std::uint32_t surface);
    // A copy of a block the driver received, for reading it back.
    QuvixEscapeBlock(char const* block, std::size_t size);

    std::uint32_t GetU32(std::size_t offset) const;
    std::uint64_t GetU64(std::size_t offset) const;
    char const* GetData() const { return reinterpret_cast<char const*>(mBytes.data()); }
    int GetSize() const { return static_cast<int>(mBytes.size()); }

private:
    explicit QuvixEscapeBlock(std::size_t size);
    void PutU32(std::size_t offset, std::uint32_t value);
    void PutU64(std::size_t offset, std::uint64_t value);

    std::vector<unsigned char> mBytes;
};
