#pragma once

#include <windows.h>
#include <unknwn.h>

#include "recording/BmpToAviParms.h"

// The custom interface of the bitmap source filter "BmpToAvi" (BmpToAvi.dll), a DirectShow
// filter with one output pin that turns bitmaps into video samples. Its slots follow the
// three of IUnknown in this order; both are called on the thread that feeds the graph.
struct IBmpToAvi : public IUnknown {
    // Stores the video's width, height, bit count (16, 24 or 32) and frame rate; the output
    // pin then offers exactly that uncompressed type. Only while the pin is unconnected.
    virtual HRESULT STDMETHODCALLTYPE SetParams(tagBMPTOAVI_PARMS const* parms) = 0;
    // Sends one frame of the parameters' size, time-stamped as the next frame interval. S_OK
    // exactly when the sample was delivered downstream; the bitmap stays the caller's.
    virtual HRESULT STDMETHODCALLTYPE AddFrame(HBITMAP bitmap) = 0;
};

// {2faeeb6e-0e82-4375-a609-280a1644b507}
constexpr CLSID CLSID_BmpToAvi = {
    0x2faeeb6e, 0x0e82, 0x4375, {0xa6, 0x09, 0x28, 0x0a, 0x16, 0x44, 0xb5, 0x07}};
// The same DLL's file writer, for graphs whose system file writer cannot serve the AVI
// multiplexer (its input pin lacks IStream, as Wine's does).
// {e8991c96-533f-4e0b-955e-52498f423152}
constexpr CLSID CLSID_BmpToAviFileSink = {
    0xe8991c96, 0x533f, 0x4e0b, {0x95, 0x5e, 0x52, 0x49, 0x8f, 0x42, 0x31, 0x52}};
// {80a0c2ea-9512-444e-bbe8-2f84491c6191}
constexpr IID IID_IBmpToAvi = {0x80a0c2ea, 0x9512, 0x444e, {0xbb, 0xe8, 0x2f, 0x84, 0x49, 0x1c, 0x61, 0x91}};
