#include "FileSinkFilter.h"

#include <cstring>

#include "FileSinkStream.h"
#include "recording/IBmpToAvi.h"

FileSinkFilter::FileSinkFilter() : FilterBase(CLSID_BmpToAviFileSink), mPin(this, this) {}

FileSinkFilter::~FileSinkFilter() {
    OnStop();
}

HRESULT STDMETHODCALLTYPE FileSinkFilter::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = BaseInterface(iid);
    if (!*object && iid == IID_IFileSinkFilter) {
        *object = static_cast<IFileSinkFilter*>(this);
    }
    if (!*object) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileSinkFilter::SetFileName(LPCOLESTR name, AM_MEDIA_TYPE const*) {
    if (!name) {
        return E_POINTER;
    }
    Lock lock(*this);
    if (mState != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    mFileName = name;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileSinkFilter::GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) {
    if (!name) {
        return E_POINTER;
    }
    Lock lock(*this);
    if (type) {
        *type = AM_MEDIA_TYPE{};
        type->majortype = MEDIATYPE_Stream;
    }
    std::size_t bytes = (mFileName.size() + 1) * sizeof(wchar_t);
    *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*name) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*name, mFileName.c_str(), bytes);
    return S_OK;
}

HRESULT FileSinkFilter::OnActivate() {
    if (mFileName.empty()) {
        return E_UNEXPECTED;
    }
    HANDLE file = CreateFileW(mFileName.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    mStream = new FileSinkStream(file);
    return S_OK;
}

void FileSinkFilter::OnStop() {
    if (mStream) {
        mStream->Release();
        mStream = nullptr;
    }
}

IStream* FileSinkFilter::CurrentStream() {
    Lock lock(*this);
    if (mStream) {
        mStream->AddRef();
    }
    return mStream;
}
