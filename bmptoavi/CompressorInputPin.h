#pragma once

#include <windows.h>
#include <dshow.h>

#include "PinBase.h"

class CompressorFilter;

// A compressor's input pin: takes uncompressed RGB video at 24 or 32 bits and hands every
// sample to the filter to encode. The stream's notices go on to the filter's output. Its
// reference count is the filter's.
class CompressorInputPin : public PinBase, public IMemInputPin {
public:
    // `filter` owns the pin and outlives it.
    explicit CompressorInputPin(CompressorFilter* filter);
    ~CompressorInputPin();
    CompressorInputPin(CompressorInputPin const&) = delete;
    CompressorInputPin& operator=(CompressorInputPin const&) = delete;

    // The connected picture's header; null while unconnected. Under the filter's lock.
    BITMAPINFOHEADER const* Header() const;
    // The connection's time a frame, in 100 ns; 0 when unknown.
    REFERENCE_TIME FrameTime() const;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE QueryAccept(AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // IMemInputPin
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

protected:
    AM_MEDIA_TYPE const& ConnectedType() const override { return mType; }

private:
    static bool Accepts(AM_MEDIA_TYPE const* type);
    // The pin downstream of the filter's output, held; null when there is none.
    IPin* Downstream() const;

    CompressorFilter* mOwner;
    AM_MEDIA_TYPE mType{};
};
