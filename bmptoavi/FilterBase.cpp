#include "FilterBase.h"

#include "OneItemEnum.h"

FilterBase::FilterBase(CLSID const& id) : mClassId(id) {
    InitializeCriticalSection(&mLock);
}

FilterBase::~FilterBase() {
    if (mClock) {
        mClock->Release();
    }
    DeleteCriticalSection(&mLock);
}

void* FilterBase::BaseInterface(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
        return static_cast<IBaseFilter*>(this);
    }
    return nullptr;
}

ULONG STDMETHODCALLTYPE FilterBase::AddRef() {
    return ++mRefs;
}

ULONG STDMETHODCALLTYPE FilterBase::Release() {
    ULONG refs = --mRefs;
    if (refs == 0) {
        delete this;
    }
    return refs;
}

HRESULT STDMETHODCALLTYPE FilterBase::GetClassID(CLSID* id) {
    if (!id) {
        return E_POINTER;
    }
    *id = mClassId;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::Stop() {
    Lock lock(*this);
    if (mState != State_Stopped) {
        OnStop();
        mState = State_Stopped;
    }
    return S_OK;
}

HRESULT FilterBase::Activate(FILTER_STATE state) {
    Lock lock(*this);
    if (mState == State_Stopped) {
        HRESULT result = OnActivate();
        if (FAILED(result)) {
            OnStop();
            return result;
        }
    }
    mState = state;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::Pause() {
    return Activate(State_Paused);
}

HRESULT STDMETHODCALLTYPE FilterBase::Run(REFERENCE_TIME) {
    return Activate(State_Running);
}

HRESULT STDMETHODCALLTYPE FilterBase::GetState(DWORD, FILTER_STATE* state) {
    if (!state) {
        return E_POINTER;
    }
    Lock lock(*this);
    *state = mState;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::SetSyncSource(IReferenceClock* clock) {
    Lock lock(*this);
    if (clock) {
        clock->AddRef();
    }
    if (mClock) {
        mClock->Release();
    }
    mClock = clock;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::GetSyncSource(IReferenceClock** clock) {
    if (!clock) {
        return E_POINTER;
    }
    Lock lock(*this);
    *clock = mClock;
    if (mClock) {
        mClock->AddRef();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::EnumPins(IEnumPins** pins) {
    // The enumerator holds the filter through the pins it hands out, not before.
    auto make = [this](ULONG index) {
        IPin* pin = PinAt(index);
        pin->AddRef();
        return pin;
    };
    return OneItemEnum<IEnumPins, IPin*>::Create(make, PinCount(), pins);
}

HRESULT STDMETHODCALLTYPE FilterBase::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) {
        return E_POINTER;
    }
    *pin = nullptr;
    for (ULONG index = 0; index < PinCount() && !*pin; ++index) {
        LPWSTR ours = nullptr;
        PinAt(index)->QueryId(&ours);
        if (ours && wcscmp(ours, id) == 0) {
            *pin = PinAt(index);
            (*pin)->AddRef();
        }
        CoTaskMemFree(ours);
    }
    return *pin ? S_OK : VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE FilterBase::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) {
        return E_POINTER;
    }
    Lock lock(*this);
    lstrcpynW(info->achName, mName.c_str(), MAX_FILTER_NAME);
    info->pGraph = mGraph;
    if (mGraph) {
        mGraph->AddRef();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    Lock lock(*this);
    mGraph = graph;
    mName = name ? name : L"";
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::QueryVendorInfo(LPWSTR*) {
    return E_NOTIMPL;
}
