#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstddef>
#include <vector>

#include "CompressorInputPin.h"
#include "CompressorOutputPin.h"
#include "FilterBase.h"

// What the DLL's video compressors share: a transform filter taking uncompressed 24- or 32-bit
// RGB frames and sending one compressed frame for each, in the format of the derived filter,
// with its times and key-frame flag, as the AVI multiplexer needs them. Frames are encoded on
// the thread that delivers them (the source's), under the filter's lock, which also guards
// the connections, the state and the settings.
class CompressorFilter : public FilterBase {
public:
    // The IAMVideoCompression settings: capabilities are CompressionCaps bits.
    struct Settings {
        LONG keyFrameRate;  // frames from one key frame to the next
        double quality;     // 0 to 1
        LONG capabilities;
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

    // For the pins, on any thread; each takes the filter's lock.
    bool IsStopped();
    // The compressed format for the connected input; false while the input is unconnected.
    bool OutputFormat(VIDEOINFOHEADER& format);
    // The media type of `format`, which it points at.
    AM_MEDIA_TYPE OutputType(VIDEOINFOHEADER& format) const;
    CompressorOutputPin& Output() { return mOutput; }
    // Encodes one input sample and sends the result downstream: the downstream answer.
    HRESULT Compress(IMediaSample* sample);
    Settings Defaults() const { return mDefaults; }
    // A negative value chooses the default; E_NOTIMPL where the format has no such setting.
    HRESULT SetKeyFrameRate(LONG rate);
    HRESULT SetQuality(double quality);
    LONG KeyFrameRate();
    double Quality();

protected:
    // `fourcc` is the output's compression code, `bitCount` its header's bit count.
    CompressorFilter(CLSID const& id, DWORD fourcc, WORD bitCount, Settings const& defaults);
    ~CompressorFilter() override = default;

    // The derived codec, called under the lock. The most bytes a frame of this size takes.
    virtual std::size_t MaxFrameBytes(int width, int height) const = 0;
    // A stream starts (the filter leaves the stopped state) with the current settings; its
    // first frame must be a key frame. False refuses to start.
    virtual bool BeginStream(int width, int height, Settings const& settings) = 0;
    // Encodes a picture: `top` is its top row of 24- or 32-bit pixels, each next row `rowStep`
    // bytes on. `out` receives the frame; `key` whether it stands alone.
    virtual bool EncodeFrame(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel,
                             std::vector<unsigned char>& out, bool& key) = 0;
    virtual void EndStream() = 0;

    IPin* GetPin() override { return &mInputPin; }
    ULONG PinCount() const override { return 2; }
    IPin* PinAt(ULONG index) override;
    HRESULT OnActivate() override;
    void OnStop() override;

private:
    // The key-frame interval the settings give at the input's frame rate.
    LONG EffectiveKeyFrameRate() const;

    DWORD mFourCC;
    WORD mBitCount;
    Settings mDefaults;
    Settings mSettings;
    CompressorInputPin mInputPin;
    CompressorOutputPin mOutput;
    std::vector<unsigned char> mEncoded;  // the last frame, reused
};
