// The recording graph with every compressor, ours in BmpToAvi.dll included, read back by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AviFile.h"
#include "RecordingFrames.h"
#include "TempFolder.h"
#include "imaging/ComScope.h"
#include "recording/BmpToAviCodecs.h"
#include "recording/CBmpToAvi.h"
#include "recording/CodecsEngine.h"

namespace {

using Pixels = std::vector<std::uint32_t>;

std::vector<Pixels> Frames(int count) {
    std::vector<Pixels> frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(RecordingFrames::Pixels(kWidth, kHeight, i));
    }
    return frames;
}

// Writes `frames` through a graph, after a frame of another size that it must refuse; the first
// failure's text, or "".
std::string Record(std::string const& path, tagBMPTOAVI_PARMS const& parms,
                   std::vector<Pixels> const& frames) {
    CBmpToAvi graph;
    if (!graph.Open(parms, path.c_str(), parms.codec)) {
        return "Open: " + graph.GetLastErrorText() + (graph.AddFrame(nullptr) ? ", then took a frame" : "");
    }
    HBITMAP wrong = RecordingFrames::Make(parms.width / 2, parms.height, 0);
    bool const tookWrong = graph.AddFrame(wrong);
    DeleteObject(wrong);
    for (std::size_t i = 0; i < frames.size() && !tookWrong; ++i) {
        HBITMAP bitmap = RecordingFrames::MakeFrom(parms.width, parms.height, frames[i]);
        bool added = graph.AddFrame(bitmap);
        DeleteObject(bitmap);
        if (!added) {
            return "AddFrame " + std::to_string(i);
        }
    }
    return tookWrong ? "took a frame of another size" : graph.Close() ? "" : "Close";
}

// Every pixel its own: no compressor gets it exactly right by luck.
Pixels Noise(int width, int height, unsigned seed) {
    Pixels pixels(static_cast<std::size_t>(width) * height);
    for (std::uint32_t& pixel : pixels) {
        seed = seed * 1103515245u + 12345u;
        pixel = (seed >> 8) & 0xFFFFFF;
    }
    return pixels;
}

// While another program holds the file, the graph is built but cannot run, and its frames must
// go nowhere (the multiplexer of a graph that never started crashes on them). Then every
// compressor at several rates and source depths, each case replacing the file before it. The system's
// compressors take no RGB input under Wine; ours are listed once each and say what they can do; "Full Frames
// (Uncompressed)" comes last and selects no compressor.
TEST(CBmpToAviTest, WritesWhatWasFedWithEachCompressor) {
    ComScope com;
    TempFolder folder;
    std::string const path = folder.File("graph.avi");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    {
        CBmpToAvi graph;
        EXPECT_FALSE(graph.Open({kWidth, kHeight, 24, 10.0f, "", 0}, path.c_str(), ""));
        EXPECT_EQ("Cannot run the graph", graph.GetLastErrorText());
        HBITMAP frame = RecordingFrames::Make(kWidth, kHeight, 0);
        EXPECT_FALSE(graph.AddFrame(frame));
        EXPECT_FALSE(graph.AddFrame(frame));
        DeleteObject(frame);
    }
    CloseHandle(held);
    WriteWholeFile(path, std::string(100000, 'x'));
    std::vector<tagBMPTOAVI_PARMS> cases = {{kWidth, kHeight, 24, 10.0f, "", 0},
                                            {kWidth, kHeight, 16, 5.0f, "", 0},
                                            {kWidth, kHeight, 32, 10.0f, "", 0},
                                            {kWidth, kHeight, 24, 2.0f, CodecsEngine::kUncompressed, 0},
                                            {kWidth, kHeight, 24, 10.0f, "No Such Codec", 0}};
    std::vector<std::string> const codecs = CodecsEngine().GetCodecs();
    ASSERT_EQ(CodecsEngine::kUncompressed, codecs.back());
    for (std::size_t i = 0; i + 1 < codecs.size(); ++i) {
        cases.push_back({kWidth, kHeight, 24, 10.0f, codecs[i], 0});
    }
    std::vector<Pixels> const fed = Frames(5);
    for (tagBMPTOAVI_PARMS const& c : cases) {
        SCOPED_TRACE("codec \"" + c.codec + "\" at " + std::to_string(c.bitsPerPixel) + " bits");
        std::string failure = Record(path, c, fed);
        CodecsEngine engine;
        bool isCompressor = false;  // the graph selects none for ""
        bool const selected = !c.codec.empty() && engine.SelectCompressor(c.codec, isCompressor);
        EXPECT_EQ(selected, engine.GetCompressor() != nullptr);
        EXPECT_EQ(selected, isCompressor && c.codec != "No Such Codec");
        EXPECT_EQ(isCompressor, !c.codec.empty() && c.codec != CodecsEngine::kUncompressed);
        bool const ours = c.codec == kBmpToAviLosslessCodec || c.codec == kBmpToAviMotionJpegCodec;
        if (ours) {
            EXPECT_EQ(1, std::count(codecs.begin(), codecs.end(), c.codec));
            bool const lossless = c.codec == kBmpToAviLosslessCodec;
            EXPECT_EQ(lossless, engine.GetCurInfo()->canKeyFrame);
            EXPECT_EQ(!lossless, engine.GetCurInfo()->canQuality);
        } else if (isCompressor) {
            EXPECT_EQ(
                c.codec == "No Such Codec" ? "Open: Cannot select compressor" : "Open: Failed connection",
                failure);
            continue;
        }
        ASSERT_EQ("", failure);
        AviFile avi = AviFile::Read(path);
        EXPECT_EQ(avi.riffSize + 8, avi.fileSize);  // nothing after the RIFF chunk
        EXPECT_EQ(kWidth, avi.width);
        EXPECT_EQ(kHeight, avi.height);
        EXPECT_EQ("vids", avi.streamType);
        EXPECT_DOUBLE_EQ(c.framesPerSecond, avi.FramesPerSecond());
        EXPECT_EQ(fed.size(), avi.length);
        ASSERT_EQ(fed.size(), avi.frames.size());
        std::vector<Pixels> decoded = avi.DecodeFrames();
        if (avi.Header().biCompression == BI_RGB && c.bitsPerPixel != 16) {
            EXPECT_EQ(fed, decoded);
        }
        for (int f = 0; f < 5; ++f) {
            EXPECT_EQ(f, RecordingFrames::Nearest(decoded[f], kWidth, kHeight, 5));
            EXPECT_GT(8.0, RecordingFrames::Distance(fed[f], decoded[f])) << "frame " << f;
        }
    }
}

// Lossless: frame sizes that are no multiple of the 16-pixel blocks, both source depths,
// repeated and noisy pictures read back exactly, a key frame every 4 s (every 8 frames at 2 fps).
// Motion JPEG: every frame a key frame, within the quality's tolerance, better costing more.
TEST(CBmpToAviTest, OurCompressorsKeepTheirPromises) {
    ComScope com;
    TempFolder folder;
    std::string const path = folder.File("ours.avi");
    constexpr int kW = 100, kH = 70, kFrames = 20, kKeyInterval = 8;
    std::vector<Pixels> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(i % 4 == 3 ? Noise(kW, kH, i) : RecordingFrames::Pixels(kW, kH, i / 2));
    }
    for (int bits : {24, 32}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        ASSERT_EQ("", Record(path, {kW, kH, bits, 2.0f, kBmpToAviLosslessCodec}, frames));
        AviFile avi = AviFile::Read(path);
        EXPECT_EQ(MAKEFOURCC('Z', 'M', 'B', 'V'), avi.Header().biCompression);
        EXPECT_EQ(32, avi.Header().biBitCount);
        EXPECT_EQ("ZMBV", avi.streamHandler);
        EXPECT_EQ(kFrames, avi.length);
        ASSERT_EQ(kFrames, avi.keyFrames.size());
        EXPECT_EQ(frames, avi.DecodeFrames());
        for (int i = 0; i < kFrames; ++i) {
            bool key = i % kKeyInterval == 0;
            EXPECT_EQ(key, (avi.frames[i][0] & 1) != 0) << "frame " << i;
            EXPECT_EQ(key, avi.keyFrames[i]) << "frame " << i;
            if (!key && frames[i] == frames[i - 1]) {
                EXPECT_GT(64u, avi.frames[i].size());  // a repeated picture costs a few bytes
            }
        }
    }
    frames = Frames(4);
    std::size_t lastBytes = 0;
    for (auto [quality, tolerance] : {std::pair{20, 6.0}, {90, 2.0}}) {
        SCOPED_TRACE("quality " + std::to_string(quality));
        ASSERT_EQ("", Record(path, {kWidth, kHeight, 24, 10.0f, kBmpToAviMotionJpegCodec, quality}, frames));
        AviFile avi = AviFile::Read(path);
        EXPECT_EQ(MAKEFOURCC('M', 'J', 'P', 'G'), avi.Header().biCompression);
        EXPECT_EQ(std::vector<bool>(frames.size(), true), avi.keyFrames);
        std::vector<Pixels> decoded = avi.DecodeFrames();
        ASSERT_EQ(frames.size(), decoded.size());
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_GT(tolerance, RecordingFrames::Distance(frames[i], decoded[i])) << "frame " << i;
            bytes += avi.frames[i].size();
        }
        EXPECT_LT(lastBytes, bytes);  // the better quality takes more bytes
        lastBytes = bytes;
    }
}

}  // namespace
