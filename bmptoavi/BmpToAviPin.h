#pragma once

#include <windows.h>
#include <dshow.h>

#include "PinBase.h"

// The filter's one output pin. It offers one uncompressed RGB video type built from the
// filter's parameters, takes the allocator of the pin it connects to, and turns each bitmap
// into one sample stamped with the next frame interval. Its reference count is the filter's.
// The filter serialises every call that changes or uses the connection under its own lock.
class BmpToAviPin : public PinBase {
public:
    // `filter` owns the pin and outlives it.
    explicit BmpToAviPin(IBaseFilter* filter);
    ~BmpToAviPin();
    BmpToAviPin(BmpToAviPin const&) = delete;
    BmpToAviPin& operator=(BmpToAviPin const&) = delete;

    // The offered type: width x height at 16, 24 or 32 bits, `fps` frames a second.
    // VFW_E_ALREADY_CONNECTED while connected, E_INVALIDARG for values it cannot carry.
    HRESULT SetFormat(int width, int height, int bitsPerPixel, double fps);
    // Called as the filter leaves and enters the stopped state: commits the allocator and
    // starts the frame count at 0, or decommits it.
    HRESULT Activate();
    void Deactivate();
    // Copies the bitmap into a sample and hands it to the connected pin: that pin's answer,
    // S_OK when it took the sample. E_INVALIDARG for a bitmap of another size.
    HRESULT Deliver(HBITMAP bitmap);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE QueryAccept(AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;

protected:
    AM_MEDIA_TYPE const& ConnectedType() const override { return mType; }

private:
    bool Accepts(AM_MEDIA_TYPE const* type) const;
    HRESULT DecideAllocator(IMemInputPin* input);
    HRESULT FillSample(IMediaSample* sample, HBITMAP bitmap);
    void ReleaseConnection();

    bool mHasFormat = false;
    VIDEOINFOHEADER mFormat{};
    AM_MEDIA_TYPE mType{};  // pbFormat points at mFormat
    double mFps = 0;
    IMemInputPin* mInput = nullptr;       // held while connected
    IMemAllocator* mAllocator = nullptr;  // held while connected
    bool mActive = false;
    LONGLONG mFrame = 0;  // frames delivered since the filter left the stopped state
};
