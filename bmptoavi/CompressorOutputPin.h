#pragma once

#include <windows.h>
#include <dshow.h>

#include <vector>

#include "PinBase.h"

class CompressorFilter;

// A compressor's output pin: offers the compressed video type the filter derives from its
// input (only while the input is connected), sends one sample per encoded frame with its
// key-frame flag, and answers IAMVideoCompression for the filter's settings. Its reference
// count is the filter's. The filter serialises every call that changes or uses the connection.
class CompressorOutputPin : public PinBase, public IAMVideoCompression {
public:
    // `filter` owns the pin and outlives it.
    explicit CompressorOutputPin(CompressorFilter* filter);
    ~CompressorOutputPin();
    CompressorOutputPin(CompressorOutputPin const&) = delete;
    CompressorOutputPin& operator=(CompressorOutputPin const&) = delete;

    bool IsConnected() const { return mInput != nullptr; }
    // Called as the filter leaves and enters the stopped state: commits or decommits the
    // allocator.
    HRESULT Activate();
    void Deactivate();
    // Sends one encoded frame downstream with the times of the frame it was made from
    // (`start` null: none): the downstream pin's answer.
    HRESULT Deliver(std::vector<unsigned char> const& frame, bool key, REFERENCE_TIME const* start,
                    REFERENCE_TIME const* stop, bool discontinuity);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE QueryAccept(AM_MEDIA_TYPE const* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    // IAMVideoCompression: the key-frame rate and the quality, where the filter takes them.
    HRESULT STDMETHODCALLTYPE put_KeyFrameRate(LONG rate) override;
    HRESULT STDMETHODCALLTYPE get_KeyFrameRate(LONG* rate) override;
    HRESULT STDMETHODCALLTYPE put_PFramesPerKeyFrame(LONG frames) override;
    HRESULT STDMETHODCALLTYPE get_PFramesPerKeyFrame(LONG* frames) override;
    HRESULT STDMETHODCALLTYPE put_Quality(double quality) override;
    HRESULT STDMETHODCALLTYPE get_Quality(double* quality) override;
    HRESULT STDMETHODCALLTYPE put_WindowSize(DWORDLONG size) override;
    HRESULT STDMETHODCALLTYPE get_WindowSize(DWORDLONG* size) override;
    HRESULT STDMETHODCALLTYPE GetInfo(LPWSTR version, int* versionSize, LPWSTR description,
                                      int* descriptionSize, LONG* keyFrameRate, LONG* pFramesPerKey,
                                      double* quality, LONG* capabilities) override;
    HRESULT STDMETHODCALLTYPE OverrideKeyFrame(LONG frame) override;
    HRESULT STDMETHODCALLTYPE OverrideFrameSize(LONG frame, LONG size) override;

protected:
    AM_MEDIA_TYPE const& ConnectedType() const override { return mType; }

private:
    bool Accepts(AM_MEDIA_TYPE const* type);
    void ReleaseConnection();

    CompressorFilter* mOwner;
    VIDEOINFOHEADER mFormat{};
    AM_MEDIA_TYPE mType{};                // pbFormat points at mFormat
    IMemInputPin* mInput = nullptr;       // held while connected
    IMemAllocator* mAllocator = nullptr;  // held while connected
};
