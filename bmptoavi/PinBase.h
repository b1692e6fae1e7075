#pragma once

#include <windows.h>
#include <dshow.h>

// What the DLL's pins share: the owning filter's reference count, the connected pin, the
// pin's name and direction, and the queries about them.
class PinBase : public IPin {
public:
    PinBase(PinBase const&) = delete;
    PinBase& operator=(PinBase const&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // An input pin takes these and ignores them; an output pin is never sent them.
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

protected:
    // `filter` owns the pin and outlives it; `name` is a literal.
    PinBase(IBaseFilter* filter, wchar_t const* name, PIN_DIRECTION direction);
    ~PinBase() = default;
    // The type of the current connection.
    virtual AM_MEDIA_TYPE const& ConnectedType() const = 0;

    IBaseFilter* mFilter;        // not held: it owns the pin
    IPin* mConnected = nullptr;  // held while connected

private:
    HRESULT InputOnly() const;

    wchar_t const* mName;
    PIN_DIRECTION mDirection;
};
