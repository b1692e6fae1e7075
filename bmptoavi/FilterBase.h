#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <string>

#include "BmpToAviModule.h"

// What the DLL's filters share: reference count, state, clock, graph and name, and their one
// pin. A derived filter answers QueryInterface for its own interfaces and is told when it
// leaves and enters the stopped state. Graph calls and the derived filter's own calls are
// serialised by one lock.
class FilterBase : public IBaseFilter {
public:
    FilterBase(FilterBase const&) = delete;
    FilterBase& operator=(FilterBase const&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

protected:
    explicit FilterBase(CLSID const& id);
    virtual ~FilterBase();

    // The filter's pin, owned by the derived filter.
    virtual IPin* GetPin() = 0;
    // A filter of more pins answers these; index 0 is GetPin().
    virtual ULONG PinCount() const { return 1; }
    virtual IPin* PinAt(ULONG index) { return index == 0 ? GetPin() : nullptr; }
    // Leaving the stopped state: a failure keeps the filter stopped.
    virtual HRESULT OnActivate() = 0;
    virtual void OnStop() = 0;
    // The common answer of QueryInterface for the base filter interfaces; null otherwise.
    void* BaseInterface(REFIID iid);

    // Locks the filter for a scope.
    class Lock {
    public:
        explicit Lock(FilterBase& filter) : mSection(filter.mLock) { EnterCriticalSection(&mSection); }
        ~Lock() { LeaveCriticalSection(&mSection); }
        Lock(Lock const&) = delete;
        Lock& operator=(Lock const&) = delete;

    private:
        CRITICAL_SECTION& mSection;
    };

    FILTER_STATE mState = State_Stopped;

private:
    HRESULT Activate(FILTER_STATE state);

    ModuleReference mModule;
    CLSID mClassId;
    std::atomic<ULONG> mRefs{1};
    CRITICAL_SECTION mLock;
    IReferenceClock* mClock = nullptr;  // held
    IFilterGraph* mGraph = nullptr;     // not held: the graph holds the filter
    std::wstring mName;
};
