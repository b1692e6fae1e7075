#include "FileSinkPin.h"

#include <cstring>

#include "FileSinkStream.h"
#include "MediaType.h"
#include "OneItemEnum.h"

namespace {
constexpr wchar_t kPinName[] = L"in";
}

FileSinkPin::FileSinkPin(IBaseFilter* filter, Owner* owner)
    : PinBase(filter, kPinName, PINDIR_INPUT), mOwner(owner) {}

FileSinkPin::~FileSinkPin() {
    Disconnect();
}

HRESULT STDMETHODCALLTYPE FileSinkPin::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *object = static_cast<IPin*>(this);
    } else if (iid == IID_IMemInputPin) {
        *object = static_cast<IMemInputPin*>(this);
    } else if (iid == IID_IStream) {
        *object = mOwner->CurrentStream();
        return *object ? S_OK : E_NOINTERFACE;
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE FileSinkPin::AddRef() {
    return PinBase::AddRef();
}

ULONG STDMETHODCALLTYPE FileSinkPin::Release() {
    return PinBase::Release();
}

HRESULT STDMETHODCALLTYPE FileSinkPin::Connect(IPin*, AM_MEDIA_TYPE const*) {
    return E_UNEXPECTED;  // an input pin is connected to
}

HRESULT STDMETHODCALLTYPE FileSinkPin::ReceiveConnection(IPin* connector, AM_MEDIA_TYPE const* type) {
    if (!connector || !type) {
        return E_POINTER;
    }
    if (mConnected) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (QueryAccept(type) != S_OK) {
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

HRESULT STDMETHODCALLTYPE FileSinkPin::Disconnect() {
    if (!mConnected) {
        return S_FALSE;
    }
    mConnected->Release();
    mConnected = nullptr;
    FreeMediaType(mType);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileSinkPin::QueryAccept(AM_MEDIA_TYPE const* type) {
    if (!type) {
        return E_POINTER;
    }
    return type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE FileSinkPin::EnumMediaTypes(IEnumMediaTypes** types) {
    return OneItemEnum<IEnumMediaTypes, AM_MEDIA_TYPE*>::Create([]() { return nullptr; }, 0, types);
}

HRESULT STDMETHODCALLTYPE FileSinkPin::GetAllocator(IMemAllocator** allocator) {
    if (allocator) {
        *allocator = nullptr;
    }
    return VFW_E_NO_ALLOCATOR;
}

HRESULT STDMETHODCALLTYPE FileSinkPin::NotifyAllocator(IMemAllocator*, BOOL) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileSinkPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FileSinkPin::Receive(IMediaSample* sample) {
    if (!sample) {
        return E_POINTER;
    }
    IStream* stream = mOwner->CurrentStream();
    if (!stream) {
        return VFW_E_WRONG_STATE;
    }
    REFERENCE_TIME start = 0, stop = 0;
    BYTE* data = nullptr;
    HRESULT result = sample->GetTime(&start, &stop);
    if (SUCCEEDED(result)) {
        result = sample->GetPointer(&data);
    }
    if (SUCCEEDED(result)) {
        long size = sample->GetActualDataLength();
        result = static_cast<FileSinkStream*>(stream)->WriteAt(start, data,
                                                               static_cast<ULONG>(size < 0 ? 0 : size));
    }
    stream->Release();
    return result;
}

HRESULT STDMETHODCALLTYPE FileSinkPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
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

HRESULT STDMETHODCALLTYPE FileSinkPin::ReceiveCanBlock() {
    return S_FALSE;
}
