#include "imaging/PictureHeader.h"

#include <wincodec.h>

#include <cstring>
#include <string>

#include "foundation/Errors.h"

namespace {

// Bounds-checked reading through the header bytes.
class ByteReader {
public:
    ByteReader(unsigned char const* data, std::size_t size) : mData(data), mSize(size), mPosition(0) {}

    void Skip(std::size_t count) {
        Need(count);
        mPosition += count;
    }
    std::uint8_t U8() {
        Need(1);
        return mData[mPosition++];
    }
    // Operands of | are unsequenced: each read gets its own statement.
    std::uint16_t U16Le() {
        std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | U8() << 8);
    }
    std::uint16_t U16Be() {
        std::uint16_t high = U8();
        return static_cast<std::uint16_t>(high << 8 | U8());
    }
    std::uint32_t U32Le() {
        std::uint32_t low = U16Le();
        return low | static_cast<std::uint32_t>(U16Le()) << 16;
    }
    std::uint32_t U32Be() {
        std::uint32_t high = U16Be();
        return high << 16 | U16Be();
    }

private:
    void Need(std::size_t count) const {
        if (count > mSize - mPosition) {
            Raise(BaseError("Picture header is cut short"));
        }
    }

    unsigned char const* mData;
    std::size_t mSize;
    std::size_t mPosition;
};

bool StartsWith(unsigned char const* data, std::size_t size, char const* signature, std::size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
}

PictureHeader Make(GUID const& container, std::uint32_t width, std::uint32_t height) {
    return PictureHeader{container, width, height, static_cast<std::uint64_t>(width) * height};
}

PictureHeader ReadPng(ByteReader& reader) {
    reader.Skip(8);
    reader.U32Be();                      // chunk length
    if (reader.U32Be() != 0x49484452) {  // "IHDR" must come first
        Raise(BaseError("PNG without an image header"));
    }
    std::uint32_t width = reader.U32Be();
    std::uint32_t height = reader.U32Be();
    return Make(GUID_ContainerFormatPng, width, height);
}

bool IsStartOfFrame(std::uint8_t marker) {
    // SOF0..SOF15 share C0..CF with DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

PictureHeader ReadJpeg(ByteReader& reader) {
    reader.Skip(2);
    for (;;) {
        if (reader.U8() != 0xFF) {
            Raise(BaseError("Invalid JPEG marker"));
        }
        std::uint8_t marker = reader.U8();
        while (marker == 0xFF) {  // fill bytes
            marker = reader.U8();
        }
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
            continue;  // markers without a segment
        }
        if (marker == 0xDA || marker == 0xD9) {
            Raise(BaseError("JPEG without a frame header"));
        }
        std::uint16_t length = reader.U16Be();
        if (length < 2) {
            Raise(BaseError("Invalid JPEG segment length"));
        }
        if (IsStartOfFrame(marker)) {
            reader.U8();  // sample precision
            std::uint16_t height = reader.U16Be();
            std::uint16_t width = reader.U16Be();
            return Make(GUID_ContainerFormatJpeg, width, height);
        }
        reader.Skip(length - 2u);
    }
}

void SkipGifColourTable(ByteReader& reader, std::uint8_t flags) {
    if (flags & 0x80) {
        reader.Skip(3u << ((flags & 7) + 1));
    }
}

void SkipGifSubBlocks(ByteReader& reader) {
    for (std::uint8_t length = reader.U8(); length != 0; length = reader.U8()) {
        reader.Skip(length);
    }
}

// The decoder keeps every frame in memory, so every frame counts.
PictureHeader ReadGif(ByteReader& reader) {
    reader.Skip(6);
    std::uint16_t width = reader.U16Le();
    std::uint16_t height = reader.U16Le();
    std::uint8_t flags = reader.U8();
    reader.Skip(2);
    SkipGifColourTable(reader, flags);
    PictureHeader header = Make(GUID_ContainerFormatGif, width, height);
    header.decodedPixels = 0;
    for (;;) {
        std::uint8_t block = reader.U8();
        if (block == 0x3B) {  // trailer
            return header;
        }
        if (block == 0x21) {  // extension: label, then data blocks
            reader.U8();
            SkipGifSubBlocks(reader);
        } else if (block == 0x2C) {  // image: position, size, flags, table, code size, data
            reader.Skip(4);
            std::uint16_t frameWidth = reader.U16Le();
            std::uint16_t frameHeight = reader.U16Le();
            SkipGifColourTable(reader, reader.U8());
            reader.U8();
            SkipGifSubBlocks(reader);
            header.decodedPixels += static_cast<std::uint64_t>(frameWidth) * frameHeight;
        } else {
            Raise(BaseError("Invalid GIF block"));
        }
    }
}

PictureHeader ReadBmp(ByteReader& reader) {
    reader.Skip(14);
    std::uint32_t infoSize = reader.U32Le();
    if (infoSize == 12) {  // OS/2 core header
        std::uint16_t width = reader.U16Le();
        return Make(GUID_ContainerFormatBmp, width, reader.U16Le());
    }
    if (infoSize < 40) {
        Raise(BaseError("Invalid BMP header"));
    }
    auto width = static_cast<std::int32_t>(reader.U32Le());
    auto height = static_cast<std::int32_t>(reader.U32Le());  // negative: rows top-down
    if (width < 0 || height == INT32_MIN) {
        Raise(BaseError("Invalid BMP dimensions"));
    }
    return Make(GUID_ContainerFormatBmp, static_cast<std::uint32_t>(width),
                static_cast<std::uint32_t>(height < 0 ? -height : height));
}

}  // namespace

PictureHeader PictureHeader::Read(unsigned char const* data, std::size_t size) {
    ByteReader reader(data, size);
    if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) {
        return ReadPng(reader);
    }
    if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) {
        return ReadJpeg(reader);
    }
    if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) {
        return ReadGif(reader);
    }
    if (StartsWith(data, size, "BM", 2)) {
        return ReadBmp(reader);
    }
    Raise(BaseError("Unknown picture format"));
}
