#include "AviFile.h"

#include <vfw.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "TempFolder.h"
#include "ZmbvDecoder.h"
#include "imaging/Picture.h"

namespace {

std::uint32_t U32(std::string const& data, std::size_t at) {
    if (at + 4 > data.size()) {
        throw std::runtime_error("AVI: read past the end");
    }
    std::uint32_t value;
    std::memcpy(&value, data.data() + at, 4);
    return value;
}

// Rows of a BI_RGB DIB (bottom-up when the height is positive) as top-down 0x00RRGGBB.
std::vector<std::uint32_t> FromDib(unsigned char const* bits, std::size_t size,
                                   BITMAPINFOHEADER const& header) {
    int width = header.biWidth;
    int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    int depth = header.biBitCount;
    std::size_t stride = ((static_cast<std::size_t>(width) * depth + 31) / 32) * 4;
    if (header.biCompression != BI_RGB || (depth != 16 && depth != 24 && depth != 32) ||
        size < stride * static_cast<std::size_t>(height)) {
        throw std::runtime_error("AVI: frame is not a whole 16, 24 or 32-bit DIB");
    }
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        int row = header.biHeight < 0 ? y : height - 1 - y;
        unsigned char const* line = bits + stride * row;
        for (int x = 0; x < width; ++x) {
            std::uint32_t value;
            if (depth == 16) {
                unsigned v = line[2 * x] | (line[2 * x + 1] << 8);
                unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                value = ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
            } else {
                unsigned char const* p = line + x * (depth / 8);
                value = (p[2] << 16) | (p[1] << 8) | p[0];
            }
            pixels[static_cast<std::size_t>(y) * width + x] = value;
        }
    }
    return pixels;
}

}  // namespace

AviFile AviFile::Read(std::string const& path) {
    std::string data = ReadWholeFile(path);
    if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "AVI ") != 0) {
        throw std::runtime_error("AVI: no RIFF AVI header in " + path);
    }
    AviFile file;
    file.riffSize = U32(data, 4);
    file.fileSize = data.size();
    std::size_t end = std::min<std::size_t>(data.size(), 8 + static_cast<std::size_t>(U32(data, 4)));
    file.ParseList(data, 12, end, "AVI ");
    if (file.format.size() < sizeof(BITMAPINFOHEADER)) {
        throw std::runtime_error("AVI: no stream format");
    }
    return file;
}

void AviFile::ParseList(std::string const& data, std::size_t begin, std::size_t end,
                        std::string const& listType) {
    std::size_t at = begin;
    while (at + 8 <= end) {
        std::string id = data.substr(at, 4);
        std::size_t size = U32(data, at + 4);
        if (at + 8 + size > end) {
            throw std::runtime_error("AVI: chunk " + id + " runs past its list");
        }
        if (id == "LIST") {
            ParseList(data, at + 12, at + 8 + size, data.substr(at + 8, 4));
        } else {
            ParseChunk(id, data, at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
}

void AviFile::ParseChunk(std::string const& id, std::string const& data, std::size_t begin,
                         std::size_t size) {
    if (id == "avih" && size >= 40) {
        microSecPerFrame = U32(data, begin);
        totalFrames = U32(data, begin + 16);
        width = U32(data, begin + 32);
        height = U32(data, begin + 36);
    } else if (id == "strh" && size >= 36 && streamType.empty()) {
        streamType = data.substr(begin, 4);
        streamHandler = data.substr(begin + 4, 4);
        scale = U32(data, begin + 20);
        rate = U32(data, begin + 24);
        length = U32(data, begin + 32);
    } else if (id == "strf" && format.empty()) {
        format.assign(data.begin() + begin, data.begin() + begin + size);
    } else if (id == "00db" || id == "00dc") {
        frames.push_back(data.substr(begin, size));
    } else if (id == "idx1") {
        ParseIndex(data, begin, size);
    }
}

void AviFile::ParseIndex(std::string const& data, std::size_t begin, std::size_t size) {
    constexpr std::size_t kEntryBytes = 16;  // chunk id, flags, offset, length
    for (std::size_t at = begin; at + kEntryBytes <= begin + size; at += kEntryBytes) {
        std::string id = data.substr(at, 4);
        if (id == "00db" || id == "00dc") {
            keyFrames.push_back((U32(data, at + 4) & AVIIF_KEYFRAME) != 0);
        }
    }
}

BITMAPINFOHEADER const& AviFile::Header() const {
    return *reinterpret_cast<BITMAPINFOHEADER const*>(format.data());
}

std::vector<std::vector<std::uint32_t>> AviFile::DecodeFrames() const {
    BITMAPINFOHEADER const& header = Header();
    std::vector<std::vector<std::uint32_t>> result;
    if (header.biCompression == MAKEFOURCC('Z', 'M', 'B', 'V')) {
        return DecodeZmbv();
    }
    if (header.biCompression == MAKEFOURCC('M', 'J', 'P', 'G')) {
        return DecodeJpeg();
    }
    if (header.biCompression == BI_RGB) {
        for (std::string const& frame : frames) {
            result.push_back(
                FromDib(reinterpret_cast<unsigned char const*>(frame.data()), frame.size(), header));
        }
        return result;
    }
    std::vector<unsigned char> input(format);  // header and colour table
    auto* in = reinterpret_cast<BITMAPINFOHEADER*>(input.data());
    BITMAPINFOHEADER output = header;
    output.biSize = sizeof(output);
    output.biCompression = BI_RGB;
    output.biBitCount = 24;
    output.biClrUsed = 0;
    output.biSizeImage = (((header.biWidth * 24 + 31) / 32) * 4) * std::abs(header.biHeight);
    HIC decoder = ICLocate(ICTYPE_VIDEO, 0, in, &output, ICMODE_DECOMPRESS);
    if (!decoder) {
        throw std::runtime_error("AVI: no decompressor for " + streamHandler);
    }
    std::vector<unsigned char> bits(output.biSizeImage);
    DWORD status = ICDecompressBegin(decoder, in, &output);
    for (std::size_t i = 0; i < frames.size() && status == ICERR_OK; ++i) {
        in->biSizeImage = static_cast<DWORD>(frames[i].size());
        status = ICDecompress(decoder, 0, in, const_cast<char*>(frames[i].data()), &output, bits.data());
        if (status == ICERR_OK) {
            result.push_back(FromDib(bits.data(), bits.size(), output));
        }
    }
    ICDecompressEnd(decoder);
    ICClose(decoder);
    if (status != ICERR_OK) {
        throw std::runtime_error("AVI: a frame does not decompress");
    }
    return result;
}

std::vector<std::vector<std::uint32_t>> AviFile::DecodeZmbv() const {
    ZmbvDecoder decoder(Header().biWidth, std::abs(Header().biHeight));
    std::vector<std::vector<std::uint32_t>> result;
    for (std::string const& frame : frames) {
        bool key = false;
        result.push_back(decoder.Decode(frame, key));
    }
    return result;
}

std::vector<std::vector<std::uint32_t>> AviFile::DecodeJpeg() const {
    std::vector<std::vector<std::uint32_t>> result;
    for (std::string const& frame : frames) {
        Picture picture = Picture::Decode(frame.data(), frame.size());
        if (picture.GetWidth() != Header().biWidth || picture.GetHeight() != std::abs(Header().biHeight)) {
            throw std::runtime_error("AVI: a JPEG frame of another size");
        }
        std::vector<std::uint32_t> pixels(
            picture.GetPixels(),
            picture.GetPixels() + static_cast<std::size_t>(picture.GetWidth()) * picture.GetHeight());
        for (std::uint32_t& pixel : pixels) {
            pixel &= 0x00FFFFFFu;
        }
        result.push_back(std::move(pixels));
    }
    return result;
}
