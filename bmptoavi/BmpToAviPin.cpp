#include "BmpToAviPin.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "MediaType.h"
#include "OneItemEnum.h"
#include "PinAllocator.h"

namespace {

constexpr wchar_t kPinName[] = L"Output";
constexpr int kMaxSide = 16384;
constexpr double kUnitsPerSecond = 10000000.0;  // REFERENCE_TIME runs in 100 ns

GUID SubtypeOf(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 16:
            return MEDIASUBTYPE_RGB555;  // what a 16-bit BI_RGB DIB holds
        case 24:
            return MEDIASUBTYPE_RGB24;
        default:
            return MEDIASUBTYPE_RGB32;
    }
}

REFERENCE_TIME FrameStart(LONGLONG frame, double fps) {
    return static_cast<REFERENCE_TIME>(std::llround(frame * kUnitsPerSecond / fps));
}

}  // namespace

BmpToAviPin::BmpToAviPin(IBaseFilter* filter) : PinBase(filter, kPinName, PINDIR_OUTPUT) {}

BmpToAviPin::~BmpToAviPin() {
    ReleaseConnection();
}

HRESULT BmpToAviPin::SetFormat(int width, int height, int bitsPerPixel, double fps) {
    if (mConnected) {
        return VFW_E_ALREADY_CONNECTED;
    }
    bool depthKnown = bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || !depthKnown ||
        !(fps >= 0.01 && fps <= 1000.0)) {
        return E_INVALIDARG;
    }
    DWORD stride = ((static_cast<DWORD>(width) * bitsPerPixel + 31) / 32) * 4;
    mFormat = VIDEOINFOHEADER{};
    mFormat.AvgTimePerFrame = FrameStart(1, fps);
    BITMAPINFOHEADER& header = mFormat.bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as AVI DIB frames are
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitsPerPixel);
    header.biCompression = BI_RGB;
    header.biSizeImage = stride * static_cast<DWORD>(height);
    mFormat.dwBitRate = static_cast<DWORD>(std::min(header.biSizeImage * 8.0 * fps, 4294967295.0));

    mType = AM_MEDIA_TYPE{};
    mType.majortype = MEDIATYPE_Video;
    mType.subtype = SubtypeOf(bitsPerPixel);
    mType.bFixedSizeSamples = TRUE;
    mType.bTemporalCompression = FALSE;
    mType.lSampleSize = header.biSizeImage;
    mType.formattype = FORMAT_VideoInfo;
    mType.cbFormat = sizeof(mFormat);
    mType.pbFormat = reinterpret_cast<BYTE*>(&mFormat);
    mFps = fps;
    mHasFormat = true;
    return S_OK;
}

HRESULT BmpToAviPin::Activate() {
    mFrame = 0;
    mActive = true;
    return mAllocator ? mAllocator->Commit() : S_OK;
}

void BmpToAviPin::Deactivate() {
    mActive = false;
    if (mAllocator) {
        mAllocator->Decommit();
    }
}

HRESULT BmpToAviPin::Deliver(HBITMAP bitmap) {
    if (!mInput || !mAllocator) {
        return VFW_E_NOT_CONNECTED;
    }
    if (!mActive) {
        return VFW_E_NOT_RUNNING;
    }
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info)) {
        return E_INVALIDARG;
    }
    if (info.bmWidth != mFormat.bmiHeader.biWidth || info.bmHeight != mFormat.bmiHeader.biHeight) {
        return E_INVALIDARG;
    }
    IMediaSample* sample = nullptr;
    HRESULT result = mAllocator->GetBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(result)) {
        return result;
    }
    result = FillSample(sample, bitmap);
    if (SUCCEEDED(result)) {
        result = mInput->Receive(sample);
    }
    sample->Release();
    if (result == S_OK) {
        ++mFrame;
    }
    return result;
}

HRESULT BmpToAviPin::FillSample(IMediaSample* sample, HBITMAP bitmap) {
    BYTE* data = nullptr;
    DWORD size = mFormat.bmiHeader.biSizeImage;
    if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < static_cast<long>(size)) {
        return E_UNEXPECTED;
    }
    BITMAPINFO bitmapInfo{};
    bitmapInfo.bmiHeader = mFormat.bmiHeader;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) {
        return E_FAIL;
    }
    GdiFlush();
    int lines = GetDIBits(dc, bitmap, 0, bitmapInfo.bmiHeader.biHeight, data, &bitmapInfo, DIB_RGB_COLORS);
    DeleteDC(dc);
    if (lines != mFormat.bmiHeader.biHeight) {
        return E_FAIL;
    }
    REFERENCE_TIME start = FrameStart(mFrame, mFps);
    REFERENCE_TIME stop = FrameStart(mFrame + 1, mFps);
    sample->SetActualDataLength(static_cast<long>(size));
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(mFrame == 0);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BmpToAviPin::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *object = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE BmpToAviPin::Connect(IPin* receiver, AM_MEDIA_TYPE const* type) {
    if (!receiver) {
        return E_POINTER;
    }
    if (mConnected) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (mActive) {
        return VFW_E_NOT_STOPPED;
    }
    if (!mHasFormat || (type && !Accepts(type))) {
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    HRESULT result = receiver->ReceiveConnection(this, &mType);
    if (FAILED(result)) {
        return result;
    }
    IMemInputPin* input = nullptr;
    result = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (SUCCEEDED(result)) {
        result = DecideAllocator(input);
    }
    if (FAILED(result)) {
        if (input) {
            input->Release();
        }
        receiver->Disconnect();
        return result;
    }
    mInput = input;
    mConnected = receiver;
    mConnected->AddRef();
    return S_OK;
}

HRESULT BmpToAviPin::DecideAllocator(IMemInputPin* input) {
    return ProvideAllocator(input, static_cast<long>(mFormat.bmiHeader.biSizeImage), &mAllocator);
}

HRESULT STDMETHODCALLTYPE BmpToAviPin::ReceiveConnection(IPin*, AM_MEDIA_TYPE const*) {
    return E_UNEXPECTED;  // an output pin is never connected to
}

HRESULT STDMETHODCALLTYPE BmpToAviPin::Disconnect() {
    if (!mConnected) {
        return S_FALSE;
    }
    if (mActive) {
        return VFW_E_NOT_STOPPED;
    }
    ReleaseConnection();
    return S_OK;
}

void BmpToAviPin::ReleaseConnection() {
    if (mAllocator) {
        mAllocator->Decommit();
        mAllocator->Release();
        mAllocator = nullptr;
    }
    if (mInput) {
        mInput->Release();
        mInput = nullptr;
    }
    if (mConnected) {
        mConnected->Release();
        mConnected = nullptr;
    }
}

bool BmpToAviPin::Accepts(AM_MEDIA_TYPE const* type) const {
    auto matches = [](GUID const& asked, GUID const& ours) { return asked == GUID_NULL || asked == ours; };
    if (!mHasFormat || !matches(type->majortype, mType.majortype) || !matches(type->subtype, mType.subtype) ||
        !matches(type->formattype, mType.formattype)) {
        return false;
    }
    if (type->formattype != FORMAT_VideoInfo || type->cbFormat < sizeof(VIDEOINFOHEADER) || !type->pbFormat) {
        return type->formattype == GUID_NULL;
    }
    auto const* asked = reinterpret_cast<VIDEOINFOHEADER const*>(type->pbFormat);
    return asked->bmiHeader.biWidth == mFormat.bmiHeader.biWidth &&
           asked->bmiHeader.biHeight == mFormat.bmiHeader.biHeight &&
           asked->bmiHeader.biBitCount == mFormat.bmiHeader.biBitCount &&
           asked->bmiHeader.biCompression == BI_RGB;
}

HRESULT STDMETHODCALLTYPE BmpToAviPin::QueryAccept(AM_MEDIA_TYPE const* type) {
    if (!type) {
        return E_POINTER;
    }
    return Accepts(type) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE BmpToAviPin::EnumMediaTypes(IEnumMediaTypes** types) {
    // The enumerator may outlive the pin: it keeps its own copy of the type.
    auto make = [type = mType, format = mFormat]() mutable {
        type.pbFormat = reinterpret_cast<BYTE*>(&format);
        auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (copy && FAILED(CopyMediaType(copy, type))) {
            CoTaskMemFree(copy);
            copy = nullptr;
        }
        return copy;
    };
    return OneItemEnum<IEnumMediaTypes, AM_MEDIA_TYPE*>::Create(make, mHasFormat ? 1 : 0, types);
}
