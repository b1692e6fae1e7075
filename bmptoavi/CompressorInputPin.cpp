#include "CompressorInputPin.h"

#include <cstdlib>

#include "CompressorFilter.h"
#include "MediaType.h"
#include "OneItemEnum.h"

namespace {
constexpr wchar_t kPinName[] = L"Input";
constexpr int kMaxSide = 16384;

// Calls `call` on `next` (held, or null: nothing downstream) and lets it go.
template <class Call>
HRESULT PassOn(IPin* next, Call call) {
    if (!next) {
        return S_OK;
    }
    HRESULT result = call(next);
    next->Release();
    return result;
}

}  // namespace

CompressorInputPin::CompressorInputPin(CompressorFilter* filter)
    : PinBase(filter, kPinName, PINDIR_INPUT), mOwner(filter) {}

CompressorInputPin::~CompressorInputPin() {
    Disconnect();
}

BITMAPINFOHEADER const* CompressorInputPin::Header() const {
    return mConnected ? &reinterpret_cast<VIDEOINFOHEADER const*>(mType.pbFormat)->bmiHeader : nullptr;
}

REFERENCE_TIME CompressorInputPin::FrameTime() const {
    return mConnected ? reinterpret_cast<VIDEOINFOHEADER const*>(mType.pbFormat)->AvgTimePerFrame : 0;
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *object = static_cast<IPin*>(this);
    } else if (iid == IID_IMemInputPin) {
        *object = static_cast<IMemInputPin*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CompressorInputPin::AddRef() {
    return PinBase::AddRef();
}

ULONG STDMETHODCALLTYPE CompressorInputPin::Release() {
    return PinBase::Release();
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::Connect(IPin*, AM_MEDIA_TYPE const*) {
    return E_UNEXPECTED;  // an input pin is connected to
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::ReceiveConnection(IPin* connector, AM_MEDIA_TYPE const* type) {
    if (!connector || !type) {
        return E_POINTER;
    }
    if (mConnected) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!mOwner->IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    if (!Accepts(type)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT result = CopyMediaType(&mType, *type);
    if (FAILED(result)) {
        return result;
    }
    mConnected = connector;
    mConnected->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::Disconnect() {
    if (!mConnected) {
        return S_FALSE;
    }
    mConnected->Release();
    mConnected = nullptr;
    FreeMediaType(mType);
    return S_OK;
}

// Whole uncompressed 24- or 32-bit frames of a sane size; either row order.
bool CompressorInputPin::Accepts(AM_MEDIA_TYPE const* type) {
    if (type->majortype != MEDIATYPE_Video || type->formattype != FORMAT_VideoInfo ||
        type->cbFormat < sizeof(VIDEOINFOHEADER) || !type->pbFormat) {
        return false;
    }
    BITMAPINFOHEADER const& header = reinterpret_cast<VIDEOINFOHEADER const*>(type->pbFormat)->bmiHeader;
    bool depth = (header.biBitCount == 24 && type->subtype == MEDIASUBTYPE_RGB24) ||
                 (header.biBitCount == 32 && type->subtype == MEDIASUBTYPE_RGB32);
    int height = std::abs(header.biHeight);
    return depth && header.biCompression == BI_RGB && header.biWidth >= 1 && header.biWidth <= kMaxSide &&
           height >= 1 && height <= kMaxSide;
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::QueryAccept(AM_MEDIA_TYPE const* type) {
    if (!type) {
        return E_POINTER;
    }
    return Accepts(type) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
    return OneItemEnum<IEnumMediaTypes, AM_MEDIA_TYPE*>::Create([]() { return nullptr; }, 0, types);
}

IPin* CompressorInputPin::Downstream() const {
    IPin* next = nullptr;
    mOwner->Output().ConnectedTo(&next);
    return next;
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::EndOfStream() {
    return PassOn(Downstream(), [](IPin* next) { return next->EndOfStream(); });
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::BeginFlush() {
    return PassOn(Downstream(), [](IPin* next) { return next->BeginFlush(); });
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::EndFlush() {
    return PassOn(Downstream(), [](IPin* next) { return next->EndFlush(); });
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                         double rate) {
    return PassOn(Downstream(), [=](IPin* next) { return next->NewSegment(start, stop, rate); });
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::GetAllocator(IMemAllocator** allocator) {
    if (allocator) {
        *allocator = nullptr;
    }
    return VFW_E_NO_ALLOCATOR;  // the upstream pin brings its own
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::NotifyAllocator(IMemAllocator*, BOOL) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::Receive(IMediaSample* sample) {
    if (!sample) {
        return E_POINTER;
    }
    return mOwner->Compress(sample);
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::ReceiveMultiple(IMediaSample** samples, long count,
                                                              long* processed) {
    long done = 0;
    HRESULT result = S_OK;
    while (done < count && (result = Receive(samples[done])) == S_OK) {
        ++done;
    }
    if (processed) {
        *processed = done;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE CompressorInputPin::ReceiveCanBlock() {
    return S_FALSE;
}
