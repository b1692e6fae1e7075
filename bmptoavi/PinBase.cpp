#include "PinBase.h"

#include <cstring>

#include "MediaType.h"

PinBase::PinBase(IBaseFilter* filter, wchar_t const* name, PIN_DIRECTION direction)
    : mFilter(filter), mName(name), mDirection(direction) {}

ULONG STDMETHODCALLTYPE PinBase::AddRef() {
    return mFilter->AddRef();
}

ULONG STDMETHODCALLTYPE PinBase::Release() {
    return mFilter->Release();
}

HRESULT STDMETHODCALLTYPE PinBase::ConnectedTo(IPin** pin) {
    if (!pin) {
        return E_POINTER;
    }
    *pin = mConnected;
    if (!mConnected) {
        return VFW_E_NOT_CONNECTED;
    }
    mConnected->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!type) {
        return E_POINTER;
    }
    if (!mConnected) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, ConnectedType());
}

HRESULT STDMETHODCALLTYPE PinBase::QueryPinInfo(PIN_INFO* info) {
    if (!info) {
        return E_POINTER;
    }
    info->pFilter = mFilter;
    mFilter->AddRef();
    info->dir = mDirection;
    lstrcpynW(info->achName, mName, MAX_PIN_NAME);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) {
        return E_POINTER;
    }
    *direction = mDirection;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryId(LPWSTR* id) {
    if (!id) {
        return E_POINTER;
    }
    std::size_t bytes = (wcslen(mName) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*id, mName, bytes);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryInternalConnections(IPin**, ULONG*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE PinBase::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::EndOfStream() {
    return InputOnly();
}

HRESULT STDMETHODCALLTYPE PinBase::BeginFlush() {
    return InputOnly();
}

HRESULT STDMETHODCALLTYPE PinBase::EndFlush() {
    return InputOnly();
}

HRESULT PinBase::InputOnly() const {
    return mDirection == PINDIR_INPUT ? S_OK : E_UNEXPECTED;
}
