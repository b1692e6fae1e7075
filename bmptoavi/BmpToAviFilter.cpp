#include "BmpToAviFilter.h"

BmpToAviFilter::BmpToAviFilter() : FilterBase(CLSID_BmpToAvi), mPin(this) {}

HRESULT STDMETHODCALLTYPE BmpToAviFilter::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = BaseInterface(iid);
    if (!*object && iid == IID_IBmpToAvi) {
        *object = static_cast<IBmpToAvi*>(this);
    }
    if (!*object) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BmpToAviFilter::SetParams(tagBMPTOAVI_PARMS const* parms) {
    if (!parms) {
        return E_POINTER;
    }
    Lock lock(*this);
    return mPin.SetFormat(parms->width, parms->height, parms->bitsPerPixel, parms->framesPerSecond);
}

// Only a running filter delivers: downstream filters take samples only once they run too.
HRESULT STDMETHODCALLTYPE BmpToAviFilter::AddFrame(HBITMAP bitmap) {
    Lock lock(*this);
    if (mState != State_Running) {
        return VFW_E_NOT_RUNNING;
    }
    return mPin.Deliver(bitmap);
}
