#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A small reader of the AVI files the recorder writes: the main and first stream headers,
// the stream format, the payloads of that stream's frame chunks in file order and their
// index flags. Frames are decoded back to pixels by decoders of our own for ZMBV and MJPG,
// else by the system's video decompressor where they are compressed.
class AviFile {
public:
    // Reads and parses a whole file; raises std::runtime_error for anything malformed.
    static AviFile Read(std::string const& path);

    // The RIFF chunk's declared size and the file's size: a whole file is riffSize + 8 long.
    std::uint64_t riffSize = 0;
    std::uint64_t fileSize = 0;

    // 'avih'
    std::uint32_t microSecPerFrame = 0;
    std::uint32_t totalFrames = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // 'strh' of the first stream
    std::string streamType;     // "vids"
    std::string streamHandler;  // the compressor's code, "DIB " when uncompressed
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;    // rate / scale frames a second
    std::uint32_t length = 0;  // frames
    // 'strf': a BITMAPINFOHEADER with its colour table
    std::vector<unsigned char> format;
    // "00db" / "00dc" payloads
    std::vector<std::string> frames;
    // 'idx1' entries of those chunks, in order: whether each is marked a key frame
    std::vector<bool> keyFrames;

    BITMAPINFOHEADER const& Header() const;
    double FramesPerSecond() const { return scale ? static_cast<double>(rate) / scale : 0.0; }
    // Every frame as 32-bit pixels 0x00RRGGBB, rows top-down, decoded in order (compressed
    // frames may depend on the ones before). Raises std::runtime_error when one cannot be.
    std::vector<std::vector<std::uint32_t>> DecodeFrames() const;

private:
    void ParseList(std::string const& data, std::size_t begin, std::size_t end, std::string const& listType);
    void ParseChunk(std::string const& id, std::string const& data, std::size_t begin, std::size_t size);
    void ParseIndex(std::string const& data, std::size_t begin, std::size_t size);
    std::vector<std::vector<std::uint32_t>> DecodeZmbv() const;
    std::vector<std::vector<std::uint32_t>> DecodeJpeg() const;
};
