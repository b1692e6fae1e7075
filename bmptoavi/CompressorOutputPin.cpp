#include "CompressorOutputPin.h"

#include <cstring>

#include "CompressorFilter.h"
#include "MediaType.h"
#include "OneItemEnum.h"
#include "PinAllocator.h"

namespace {
constexpr wchar_t kPinName[] = L"Output";
}

CompressorOutputPin::CompressorOutputPin(CompressorFilter* filter)
    : PinBase(filter, kPinName, PINDIR_OUTPUT), mOwner(filter) {}

CompressorOutputPin::~CompressorOutputPin() {
    ReleaseConnection();
}

HRESULT CompressorOutputPin::Activate() {
    return mAllocator ? mAllocator->Commit() : S_OK;
}

void CompressorOutputPin::Deactivate() {
    if (mAllocator) {
        mAllocator->Decommit();
    }
}

HRESULT CompressorOutputPin::Deliver(std::vector<unsigned char> const& frame, bool key,
                                     REFERENCE_TIME const* start, REFERENCE_TIME const* stop,
                                     bool discontinuity) {
    if (!mInput || !mAllocator) {
        return VFW_E_NOT_CONNECTED;
    }
    IMediaSample* sample = nullptr;
    HRESULT result = mAllocator->GetBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(result)) {
        return result;
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < static_cast<long>(frame.size())) {
        result = E_UNEXPECTED;
    } else {
        std::memcpy(data, frame.data(), frame.size());
        sample->SetActualDataLength(static_cast<long>(frame.size()));
        sample->SetTime(const_cast<REFERENCE_TIME*>(start), const_cast<REFERENCE_TIME*>(stop));
        // The multiplexer marks the index entry of a sync point as a key frame.
        sample->SetSyncPoint(key ? TRUE : FALSE);
        sample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
        result = mInput->Receive(sample);
    }
    sample->Release();
    return result;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *object = static_cast<IPin*>(this);
    } else if (iid == IID_IAMVideoCompression) {
        *object = static_cast<IAMVideoCompression*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CompressorOutputPin::AddRef() {
    return PinBase::AddRef();
}

ULONG STDMETHODCALLTYPE CompressorOutputPin::Release() {
    return PinBase::Release();
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::Connect(IPin* receiver, AM_MEDIA_TYPE const* type) {
    if (!receiver) {
        return E_POINTER;
    }
    if (mConnected) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!mOwner->IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    if (!mOwner->OutputFormat(mFormat) || (type && !Accepts(type))) {
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    mType = mOwner->OutputType(mFormat);
    HRESULT result = receiver->ReceiveConnection(this, &mType);
    if (FAILED(result)) {
        return result;
    }
    IMemInputPin* input = nullptr;
    result = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (SUCCEEDED(result)) {
        result = ProvideAllocator(input, static_cast<long>(mFormat.bmiHeader.biSizeImage), &mAllocator);
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

HRESULT STDMETHODCALLTYPE CompressorOutputPin::ReceiveConnection(IPin*, AM_MEDIA_TYPE const*) {
    return E_UNEXPECTED;  // an output pin is never connected to
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::Disconnect() {
    if (!mConnected) {
        return S_FALSE;
    }
    if (!mOwner->IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    ReleaseConnection();
    return S_OK;
}

void CompressorOutputPin::ReleaseConnection() {
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

bool CompressorOutputPin::Accepts(AM_MEDIA_TYPE const* type) {
    VIDEOINFOHEADER format{};
    if (!mOwner->OutputFormat(format)) {
        return false;
    }
    AM_MEDIA_TYPE ours = mOwner->OutputType(format);
    auto matches = [](GUID const& asked, GUID const& offered) {
        return asked == GUID_NULL || asked == offered;
    };
    if (!matches(type->majortype, ours.majortype) || !matches(type->subtype, ours.subtype) ||
        !matches(type->formattype, ours.formattype)) {
        return false;
    }
    if (type->formattype != FORMAT_VideoInfo || type->cbFormat < sizeof(VIDEOINFOHEADER) || !type->pbFormat) {
        return type->formattype == GUID_NULL;
    }
    BITMAPINFOHEADER const& asked = reinterpret_cast<VIDEOINFOHEADER const*>(type->pbFormat)->bmiHeader;
    return asked.biWidth == format.bmiHeader.biWidth && asked.biHeight == format.bmiHeader.biHeight &&
           asked.biCompression == format.bmiHeader.biCompression;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::QueryAccept(AM_MEDIA_TYPE const* type) {
    if (!type) {
        return E_POINTER;
    }
    return Accepts(type) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::EnumMediaTypes(IEnumMediaTypes** types) {
    // The enumerator may outlive the pin: it keeps its own copy of the type.
    VIDEOINFOHEADER format{};
    bool offered = mOwner->OutputFormat(format);
    auto make = [type = mOwner->OutputType(format), format]() mutable {
        type.pbFormat = reinterpret_cast<BYTE*>(&format);
        auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (copy && FAILED(CopyMediaType(copy, type))) {
            CoTaskMemFree(copy);
            copy = nullptr;
        }
        return copy;
    };
    return OneItemEnum<IEnumMediaTypes, AM_MEDIA_TYPE*>::Create(make, offered ? 1 : 0, types);
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::put_KeyFrameRate(LONG rate) {
    return mOwner->SetKeyFrameRate(rate);
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::get_KeyFrameRate(LONG* rate) {
    if (!rate) {
        return E_POINTER;
    }
    *rate = mOwner->KeyFrameRate();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::put_PFramesPerKeyFrame(LONG) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::get_PFramesPerKeyFrame(LONG*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::put_Quality(double quality) {
    return mOwner->SetQuality(quality);
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::get_Quality(double* quality) {
    if (!quality) {
        return E_POINTER;
    }
    *quality = mOwner->Quality();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::put_WindowSize(DWORDLONG) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::get_WindowSize(DWORDLONG*) {
    return E_NOTIMPL;
}

// No version or description texts; the defaults and capabilities are the filter's.
HRESULT STDMETHODCALLTYPE CompressorOutputPin::GetInfo(LPWSTR, int* versionSize, LPWSTR, int* descriptionSize,
                                                       LONG* keyFrameRate, LONG* pFramesPerKey,
                                                       double* quality, LONG* capabilities) {
    CompressorFilter::Settings const defaults = mOwner->Defaults();
    for (int* size : {versionSize, descriptionSize}) {
        if (size) {
            *size = 0;
        }
    }
    if (keyFrameRate) {
        *keyFrameRate = defaults.keyFrameRate;
    }
    if (pFramesPerKey) {
        *pFramesPerKey = 0;
    }
    if (quality) {
        *quality = defaults.quality;
    }
    if (capabilities) {
        *capabilities = defaults.capabilities;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::OverrideKeyFrame(LONG) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CompressorOutputPin::OverrideFrameSize(LONG, LONG) {
    return E_NOTIMPL;
}
