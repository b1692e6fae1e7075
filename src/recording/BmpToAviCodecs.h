#pragma once

#include <windows.h>

// The video compressors BmpToAvi.dll adds to the system's video compressor category, by the
// friendly names CodecsEngine lists them under and a recording's codec selects them with.

// Lossless: ZMBV at 32 bits, a key frame every four seconds.
#define BMPTOAVI_LOSSLESS_NAME "Corvane Lossless Screen (ZMBV)"
// Every frame a JPEG (MJPG) of the project's own encoder; quality through IAMVideoCompression.
#define BMPTOAVI_MOTION_JPEG_NAME "Corvane Motion JPEG (MJPG)"

constexpr char kBmpToAviLosslessCodec[] = BMPTOAVI_LOSSLESS_NAME;
constexpr char kBmpToAviMotionJpegCodec[] = BMPTOAVI_MOTION_JPEG_NAME;

// {5f2613e9-74e0-4ead-ab37-b176d82ca4d0}
constexpr CLSID CLSID_BmpToAviZmbv = {
    0x5f2613e9, 0x74e0, 0x4ead, {0xab, 0x37, 0xb1, 0x76, 0xd8, 0x2c, 0xa4, 0xd0}};
// {931ae254-04a9-433a-a6d7-18f90dc14282}
constexpr CLSID CLSID_BmpToAviMjpeg = {
    0x931ae254, 0x04a9, 0x433a, {0xa6, 0xd7, 0x18, 0xf9, 0x0d, 0xc1, 0x42, 0x82}};
