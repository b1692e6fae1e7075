#include "capture/QuvixEscapeBlock.h"

#include <cstring>

namespace {
constexpr char16_t kEscapeName[] = u"KVR.Quvix.Escape";
}

QuvixEscapeBlock::QuvixEscapeBlock(std::size_t size) : mBytes(size, 0) {
    std::size_t nameBytes = sizeof(kEscapeName);  // with the terminator: 34 bytes
    for (std::size_t i = 0; i < nameBytes / 2; ++i) {
        mBytes[2 * i] = static_cast<unsigned char>(kEscapeName[i]);
        mBytes[2 * i + 1] = static_cast<unsigned char>(kEscapeName[i] >> 8);
    }
    PutU32(kSizeOffset, static_cast<std::uint32_t>(size));
}

QuvixEscapeBlock::QuvixEscapeBlock(char const* block, std::size_t size)
    : mBytes(reinterpret_cast<unsigned char const*>(block),
             reinterpret_cast<unsigned char const*>(block) + size) {}

QuvixEscapeBlock QuvixEscapeBlock::Map(int bytesPerPixel, int width, int height, int tile, void const* buffer,
                                       std::uint64_t bufferSize) {
    QuvixEscapeBlock block(kMapBlockSize);
    block.PutU32(kArguments, static_cast<std::uint32_t>(bytesPerPixel));
    block.PutU32(kArguments + 4, static_cast<std::uint32_t>(width));
    block.PutU32(kArguments + 8, static_cast<std::uint32_t>(height));
    block.PutU32(kArguments + 12, static_cast<std::uint32_t>(tile));
    block.PutU64(kArguments + 16, reinterpret_cast<std::uintptr_t>(buffer));
    block.PutU64(kArguments + 24, bufferSize);
    return block;
}

QuvixEscapeBlock QuvixEscapeBlock::ForSurface(std::uint32_t surface) {
    QuvixEscapeBlock block(kSurfaceBlockSize);
    block.PutU32(kArguments, surface);
    return block;
}

std::uint32_t QuvixEscapeBlock::GetU32(std::size_t offset) const {
    return static_cast<std::uint32_t>(GetU64(offset) & 0xFFFFFFFFu);
}

std::uint64_t QuvixEscapeBlock::GetU64(std::size_t offset) const {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8 && offset + i < mBytes.size(); ++i) {
        value |= std::uint64_t(mBytes[offset + i]) << (8 * i);
    }
    return value;
}

void QuvixEscapeBlock::PutU32(std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        mBytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void QuvixEscapeBlock::PutU64(std::size_t offset, std::uint64_t value) {
    PutU32(offset, static_cast<std::uint32_t>(value));
    PutU32(offset + 4, static_cast<std::uint32_t>(value >> 32));
}
