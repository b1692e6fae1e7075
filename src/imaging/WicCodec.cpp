#include "imaging/WicCodec.h"

#include <wincodec.h>
#include <wrl/client.h>

#include "foundation/Errors.h"
#include "imaging/ComScope.h"
#include "imaging/Picture.h"

using Microsoft::WRL::ComPtr;

namespace {

void Check(HRESULT result, char const* what) {
    if (FAILED(result)) {
        Raise(SystemError(what, static_cast<unsigned long>(result)));
    }
}

ComPtr<IWICImagingFactory> CreateFactory() {
    ComPtr<IWICImagingFactory> factory;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
          "Cannot create the imaging factory");
    return factory;
}

std::vector<unsigned char> StreamBytes(IStream* stream) {
    HGLOBAL memory = nullptr;
    Check(GetHGlobalFromStream(stream, &memory), "Cannot read the encoded picture");
    STATSTG status = {};
    Check(stream->Stat(&status, STATFLAG_NONAME), "Cannot read the encoded picture");
    auto const* bytes = static_cast<unsigned char const*>(GlobalLock(memory));
    if (!bytes) {
        Raise(SystemError("Cannot read the encoded picture", GetLastError()));
    }
    std::vector<unsigned char> result(bytes, bytes + status.cbSize.QuadPart);
    GlobalUnlock(memory);
    return result;
}

void SetPalette(IWICImagingFactory* factory, IWICBitmapFrameEncode* frame,
                std::vector<std::uint32_t> const& palette) {
    ComPtr<IWICPalette> colours;
    Check(factory->CreatePalette(&colours), "Cannot create a palette");
    std::vector<WICColor> entries(palette.begin(), palette.end());
    Check(colours->InitializeCustom(entries.data(), static_cast<UINT>(entries.size())),
          "Cannot create a palette");
    Check(frame->SetPalette(colours.Get()), "Cannot set the PNG palette");
}

}  // namespace

Picture WicCodec::Decode(unsigned char const* data, std::size_t size, GUID const& container) {
    ComScope com;
    ComPtr<IWICImagingFactory> factory = CreateFactory();
    ComPtr<IWICStream> stream;
    Check(factory->CreateStream(&stream), "Cannot create a picture stream");
    // The stream only reads from the buffer.
    Check(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size)),
          "Cannot create a picture stream");
    ComPtr<IWICBitmapDecoder> decoder;
    Check(factory->CreateDecoder(container, nullptr, &decoder), "No decoder for the picture format");
    Check(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand), "Cannot decode picture");
    ComPtr<IWICBitmapFrameDecode> frame;
    Check(decoder->GetFrame(0, &frame), "Cannot decode picture");
    ComPtr<IWICBitmapSource> converted;
    Check(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.Get(), &converted),
          "Cannot convert the decoded picture");
    UINT width = 0;
    UINT height = 0;
    Check(converted->GetSize(&width, &height), "Cannot decode picture");
    Picture::CheckSize(width, height);
    Picture picture(static_cast<int>(width), static_cast<int>(height));
    UINT stride = width * 4;
    Check(
        converted->CopyPixels(nullptr, stride, stride * height, reinterpret_cast<BYTE*>(picture.GetPixels())),
        "Cannot decode picture");
    return picture;
}

std::vector<unsigned char> WicCodec::EncodePng(void const* rows, std::uint32_t width, std::uint32_t height,
                                               std::uint32_t stride, GUID const& pixelFormat,
                                               std::vector<std::uint32_t> const& palette) {
    return Encode(GUID_ContainerFormatPng, rows, width, height, stride, pixelFormat, palette);
}

std::vector<unsigned char> WicCodec::Encode(GUID const& container, void const* rows, std::uint32_t width,
                                            std::uint32_t height, std::uint32_t stride,
                                            GUID const& pixelFormat,
                                            std::vector<std::uint32_t> const& palette) {
    ComScope com;
    ComPtr<IWICImagingFactory> factory = CreateFactory();
    ComPtr<IStream> stream;
    Check(CreateStreamOnHGlobal(nullptr, TRUE, &stream), "Cannot create a picture stream");
    ComPtr<IWICBitmapEncoder> encoder;
    Check(factory->CreateEncoder(container, nullptr, &encoder), "No encoder for the picture format");
    Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "Cannot encode picture");
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    Check(encoder->CreateNewFrame(&frame, &options), "Cannot encode picture");
    Check(frame->Initialize(options.Get()), "Cannot encode picture");
    Check(frame->SetSize(width, height), "Cannot encode picture");
    GUID format = pixelFormat;
    Check(frame->SetPixelFormat(&format), "Cannot encode picture");
    if (!IsEqualGUID(format, pixelFormat)) {
        Raise(BaseError("The encoder refuses the pixel format"));
    }
    if (!palette.empty()) {
        SetPalette(factory.Get(), frame.Get(), palette);
    }
    Check(frame->WritePixels(height, stride, stride * height, static_cast<BYTE*>(const_cast<void*>(rows))),
          "Cannot encode picture");
    Check(frame->Commit(), "Cannot encode picture");
    Check(encoder->Commit(), "Cannot encode picture");
    return StreamBytes(stream.Get());
}
