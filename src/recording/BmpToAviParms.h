#pragma once

#include <string>

// What a recording is made of: the video's size and depth, its frame rate and the friendly
// name of its compressor. The bitmap source filter reads the first four fields only.
struct tagBMPTOAVI_PARMS {
    int width = 0;          // pixels
    int height = 0;         // pixels
    int bitsPerPixel = 24;  // the DIB bit count of a frame
    float framesPerSecond = 10.0f;
    std::string codec;  // empty or "Full Frames (Uncompressed)": no compressor
};
