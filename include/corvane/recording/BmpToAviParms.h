#pragma once

#include <string>

// What a recording is made of: the video's size and depth, its frame rate and the friendly
// name of its compressor, and its quality where the compressor takes one. The bitmap source
// filter reads the first four fields only.
struct tagBMPTOAVI_PARMS {
    int width = 0;          // pixels
    int height = 0;         // pixels
    int bitsPerPixel = 24;  // the DIB bit count of a frame
    float framesPerSecond = 10.0f;
    std::string codec;  // empty or "Full Frames (Uncompressed)": no compressor
    int quality = 0;    // 1 to 100 (JPEG's scale); 0 keeps the compressor's own
};
