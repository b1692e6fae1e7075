#pragma once

#include <windows.h>
#include <dshow.h>

#include "PinBase.h"

// The file sink's input pin: takes a byte stream (MEDIATYPE_Stream) and hands the connected
// multiplexer the sink's open file as IStream; samples that arrive are written at the offset
// their start time carries. Its reference count is the filter's.
class FileSinkPin : public PinBase, public IMemInputPin {
public:
    // Hands out the open file's stream, or null while the sink is stopped. Called under the
    // filter's lock.
    class Owner {
    public:
        virtual IStream* CurrentStream() = 0;  // a new reference, or null
    };

    // `filter` owns the pin and outlives it; `owner` is the same object.
    FileSinkPin(IBaseFilter* filter, Owner* owner);
    ~FileSinkPin();
    FileSinkPin(FileSinkPin const&) = delete;
    FileSinkPin& operator=(FileSinkPin const&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE QueryAccept(AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
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
    Owner* mOwner;  // the filter
    AM_MEDIA_TYPE mType{};
};
