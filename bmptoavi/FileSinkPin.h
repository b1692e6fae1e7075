#pragma once

#include <windows.h>
#include <dshow.h>

// The file sink's input pin: takes a byte stream (MEDIATYPE_Stream) and hands the connected
// multiplexer the sink's open file as IStream; samples that arrive are written at the offset
// their start time carries. Its reference count is the filter's.
class FileSinkPin : public IPin, public IMemInputPin {
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
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
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

private:
    IBaseFilter* mFilter;        // not held: it owns the pin
    Owner* mOwner;               // the filter
    IPin* mConnected = nullptr;  // held while connected
    AM_MEDIA_TYPE mType{};
};
