#include "CompressorFilter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {

// A key frame every few seconds: a player seeks to one, and a damaged file recovers at one.
constexpr double kKeyFrameSeconds = 4.0;
constexpr LONG kKeyFramesUnknownRate = 60;
constexpr double kUnitsPerSecond = 10000000.0;  // REFERENCE_TIME runs in 100 ns

GUID SubtypeOf(DWORD fourcc) {
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}

}  // namespace

CompressorFilter::CompressorFilter(CLSID const& id, DWORD fourcc, WORD bitCount, Settings const& defaults)
    : FilterBase(id),
      mFourCC(fourcc),
      mBitCount(bitCount),
      mDefaults(defaults),
      mSettings(defaults),
      mInputPin(this),
      mOutput(this) {}

HRESULT STDMETHODCALLTYPE CompressorFilter::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = BaseInterface(iid);
    if (!*object) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

IPin* CompressorFilter::PinAt(ULONG index) {
    return index == 0 ? static_cast<IPin*>(&mInputPin) : index == 1 ? static_cast<IPin*>(&mOutput) : nullptr;
}

bool CompressorFilter::IsStopped() {
    Lock lock(*this);
    return mState == State_Stopped;
}

bool CompressorFilter::OutputFormat(VIDEOINFOHEADER& format) {
    Lock lock(*this);
    BITMAPINFOHEADER const* input = mInputPin.Header();
    if (!input) {
        return false;
    }
    format = VIDEOINFOHEADER{};
    format.AvgTimePerFrame = mInputPin.FrameTime();
    BITMAPINFOHEADER& header = format.bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = input->biWidth;
    header.biHeight = std::abs(input->biHeight);
    header.biPlanes = 1;
    header.biBitCount = mBitCount;
    header.biCompression = mFourCC;
    header.biSizeImage = static_cast<DWORD>(MaxFrameBytes(header.biWidth, header.biHeight));
    return true;
}

AM_MEDIA_TYPE CompressorFilter::OutputType(VIDEOINFOHEADER& format) const {
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = SubtypeOf(mFourCC);
    type.bFixedSizeSamples = FALSE;
    type.bTemporalCompression = (mDefaults.capabilities & CompressionCaps_CanKeyFrame) ? TRUE : FALSE;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof(format);
    type.pbFormat = reinterpret_cast<BYTE*>(&format);
    return type;
}

HRESULT CompressorFilter::OnActivate() {
    BITMAPINFOHEADER const* input = mInputPin.Header();
    if (!input || !mOutput.IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    Settings settings = mSettings;
    settings.keyFrameRate = EffectiveKeyFrameRate();
    if (!BeginStream(input->biWidth, std::abs(input->biHeight), settings)) {
        return E_OUTOFMEMORY;
    }
    return mOutput.Activate();
}

void CompressorFilter::OnStop() {
    mOutput.Deactivate();
    EndStream();
}

HRESULT CompressorFilter::Compress(IMediaSample* sample) {
    Lock lock(*this);
    BITMAPINFOHEADER const* input = mInputPin.Header();
    if (mState == State_Stopped || !input) {
        return VFW_E_WRONG_STATE;
    }
    int height = std::abs(input->biHeight);
    std::ptrdiff_t stride = ((static_cast<std::ptrdiff_t>(input->biWidth) * input->biBitCount + 31) / 32) * 4;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || sample->GetActualDataLength() < stride * height) {
        return E_INVALIDARG;
    }
    // A positive height is a bottom-up DIB: its top row is the last in memory.
    bool bottomUp = input->biHeight > 0;
    unsigned char const* top = bottomUp ? data + stride * (height - 1) : data;
    bool key = false;
    try {
        if (!EncodeFrame(top, bottomUp ? -stride : stride, input->biBitCount, mEncoded, key)) {
            return E_FAIL;
        }
    } catch (std::bad_alloc const&) {
        return E_OUTOFMEMORY;
    }
    REFERENCE_TIME start = 0, stop = 0;
    bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    return mOutput.Deliver(mEncoded, key, timed ? &start : nullptr, timed ? &stop : nullptr,
                           sample->IsDiscontinuity() == S_OK);
}

HRESULT CompressorFilter::SetKeyFrameRate(LONG rate) {
    if (!(mDefaults.capabilities & CompressionCaps_CanKeyFrame)) {
        return E_NOTIMPL;
    }
    Lock lock(*this);
    mSettings.keyFrameRate = rate < 0 ? mDefaults.keyFrameRate : rate;
    return S_OK;
}

HRESULT CompressorFilter::SetQuality(double quality) {
    if (!(mDefaults.capabilities & CompressionCaps_CanQuality)) {
        return E_NOTIMPL;
    }
    if (quality > 1.0) {
        return E_INVALIDARG;
    }
    Lock lock(*this);
    mSettings.quality = quality < 0 ? mDefaults.quality : quality;
    return S_OK;
}

LONG CompressorFilter::KeyFrameRate() {
    Lock lock(*this);
    return EffectiveKeyFrameRate();
}

double CompressorFilter::Quality() {
    Lock lock(*this);
    return mSettings.quality;
}

// A rate of 0 means every kKeyFrameSeconds at the input's frame rate.
LONG CompressorFilter::EffectiveKeyFrameRate() const {
    if (mSettings.keyFrameRate > 0) {
        return mSettings.keyFrameRate;
    }
    REFERENCE_TIME frame = mInputPin.FrameTime();
    if (frame <= 0) {
        return kKeyFramesUnknownRate;
    }
    return std::max(1L, std::lround(kKeyFrameSeconds * kUnitsPerSecond / static_cast<double>(frame)));
}
