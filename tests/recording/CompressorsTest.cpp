// Our own compressors in BmpToAvi.dll, through the recording graph and Wine's AVI multiplexer,
// read back with the test's own decoders.
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

// Every pixel its own: no compressor gets it exactly right by luck.
Pixels Noise(int width, int height, unsigned seed) {
    Pixels pixels(static_cast<std::size_t>(width) * height);
    for (std::uint32_t& pixel : pixels) {
        seed = seed * 1103515245u + 12345u;
        pixel = (seed >> 8) & 0xFFFFFF;
    }
    return pixels;
}

// Writes `frames` through a graph; the first failure's text, or "".
std::string Record(std::string const& path, tagBMPTOAVI_PARMS const& parms,
                   std::vector<Pixels> const& frames) {
    CBmpToAvi graph;
    if (!graph.Open(parms, path.c_str(), parms.codec)) {
        return "Open: " + graph.GetLastErrorText();
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        HBITMAP bitmap = RecordingFrames::MakeFrom(parms.width, parms.height, frames[i]);
        bool added = graph.AddFrame(bitmap);
        DeleteObject(bitmap);
        if (!added) {
            return "AddFrame " + std::to_string(i);
        }
    }
    return graph.Close() ? "" : "Close";
}

tagBMPTOAVI_PARMS Parms(int width, int height, int bits, float fps, std::string const& codec,
                        int quality = 0) {
    tagBMPTOAVI_PARMS parms;
    parms.width = width;
    parms.height = height;
    parms.bitsPerPixel = bits;
    parms.framesPerSecond = fps;
    parms.codec = codec;
    parms.quality = quality;
    return parms;
}

TEST(CompressorsTest, ListedAndSelectableWithTheirSettings) {
    ComScope com;
    std::vector<std::string> codecs = CodecsEngine().GetCodecs();
    for (char const* name : {kBmpToAviLosslessCodec, kBmpToAviMotionJpegCodec}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(1, std::count(codecs.begin(), codecs.end(), std::string(name)));
        CodecsEngine engine;
        bool isCompressor = false;
        ASSERT_TRUE(engine.SelectCompressor(name, isCompressor));
        EXPECT_TRUE(isCompressor);
        ASSERT_NE(nullptr, engine.GetCompressor());
        tagINFO const& info = *engine.GetCurInfo();
        bool lossless = name == std::string(kBmpToAviLosslessCodec);
        EXPECT_EQ(lossless, info.canKeyFrame);
        EXPECT_EQ(!lossless, info.canQuality);
    }
}

// Frame sizes that are no multiple of the 16-pixel blocks, both source depths, repeated and
// noisy pictures; a key frame every 4 s, here every 8 frames at 2 fps.
TEST(CompressorsTest, LosslessFramesReadBackExactlyWithKeyFramesInTheIndex) {
    ComScope com;
    TempFolder folder;
    constexpr int kWidth = 100, kHeight = 70, kFrames = 20, kKeyInterval = 8;
    std::vector<Pixels> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(i % 4 == 3 ? Noise(kWidth, kHeight, i)
                                    : RecordingFrames::Pixels(kWidth, kHeight, i / 2));
    }
    for (int bits : {24, 32}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        std::string path = folder.File("lossless.avi");
        ASSERT_EQ("", Record(path, Parms(kWidth, kHeight, bits, 2.0f, kBmpToAviLosslessCodec), frames));
        AviFile avi = AviFile::Read(path);
        EXPECT_EQ(MAKEFOURCC('Z', 'M', 'B', 'V'), avi.Header().biCompression);
        EXPECT_EQ(32, avi.Header().biBitCount);
        EXPECT_EQ("ZMBV", avi.streamHandler);
        EXPECT_EQ(kFrames, avi.length);
        ASSERT_EQ(kFrames, avi.frames.size());
        ASSERT_EQ(kFrames, avi.keyFrames.size());
        EXPECT_EQ(frames, avi.DecodeFrames());
        for (int i = 0; i < kFrames; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            bool key = i % kKeyInterval == 0;
            EXPECT_EQ(key, (avi.frames[i][0] & 1) != 0);
            EXPECT_EQ(key, avi.keyFrames[i]);
            if (!key && frames[i] == frames[i - 1]) {
                EXPECT_GT(64u, avi.frames[i].size());  // a repeated picture costs a few bytes
            }
        }
    }
}

TEST(CompressorsTest, MotionJpegFramesAreKeyFramesWithinTheQualitysTolerance) {
    ComScope com;
    TempFolder folder;
    constexpr int kWidth = 64, kHeight = 48, kFrames = 4;
    std::vector<Pixels> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(RecordingFrames::Pixels(kWidth, kHeight, i));
    }
    struct Case {
        int quality;
        double tolerance;  // mean absolute difference per component
    };
    std::size_t lastBytes = 0;
    for (Case c : {Case{20, 6.0}, Case{90, 2.0}}) {
        SCOPED_TRACE("quality " + std::to_string(c.quality));
        std::string path = folder.File("mjpg.avi");
        ASSERT_EQ(
            "", Record(path, Parms(kWidth, kHeight, 24, 10.0f, kBmpToAviMotionJpegCodec, c.quality), frames));
        AviFile avi = AviFile::Read(path);
        EXPECT_EQ(MAKEFOURCC('M', 'J', 'P', 'G'), avi.Header().biCompression);
        ASSERT_EQ(kFrames, avi.frames.size());
        EXPECT_EQ(std::vector<bool>(kFrames, true), avi.keyFrames);
        std::vector<Pixels> decoded = avi.DecodeFrames();
        std::size_t bytes = 0;
        for (int i = 0; i < kFrames; ++i) {
            EXPECT_GT(c.tolerance, RecordingFrames::Distance(frames[i], decoded[i])) << "frame " << i;
            bytes += avi.frames[i].size();
        }
        EXPECT_LT(lastBytes, bytes);  // the better quality takes more bytes
        lastBytes = bytes;
    }
}

}  // namespace
