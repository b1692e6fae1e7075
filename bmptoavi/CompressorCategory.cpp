#include "CompressorCategory.h"

#include <dshow.h>

#include "recording/BmpToAviCodecs.h"

namespace {

struct Compressor {
    CLSID const* id;
    wchar_t const* name;
    GUID subtype;  // of the output
};

constexpr GUID FourCCSubtype(DWORD fourcc) {
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}

Compressor const kCompressors[] = {
    {&CLSID_BmpToAviZmbv, L"" BMPTOAVI_LOSSLESS_NAME, FourCCSubtype(MAKEFOURCC('Z', 'M', 'B', 'V'))},
    {&CLSID_BmpToAviMjpeg, L"" BMPTOAVI_MOTION_JPEG_NAME, FourCCSubtype(MAKEFOURCC('M', 'J', 'P', 'G'))}};

// COM for the call, unless the thread has its apartment already.
class ComForCall {
public:
    ComForCall() : mResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComForCall() {
        if (SUCCEEDED(mResult)) {
            CoUninitialize();
        }
    }
    ComForCall(ComForCall const&) = delete;
    ComForCall& operator=(ComForCall const&) = delete;

private:
    HRESULT mResult;
};

// Runs `apply` with the filter mapper on each compressor; the first failure, or S_OK.
template <class Apply>
HRESULT ForEachCompressor(Apply apply) {
    ComForCall com;
    IFilterMapper2* mapper = nullptr;
    HRESULT result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                      reinterpret_cast<void**>(&mapper));
    if (FAILED(result)) {
        return result;
    }
    for (Compressor const& compressor : kCompressors) {
        HRESULT one = apply(mapper, compressor);
        if (SUCCEEDED(result) && FAILED(one)) {
            result = one;
        }
    }
    mapper->Release();
    return result;
}

}  // namespace

HRESULT RegisterCompressors() {
    return ForEachCompressor([](IFilterMapper2* mapper, Compressor const& compressor) {
        REGPINTYPES const inputs[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},
                                      {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
        REGPINTYPES const outputs[] = {{&MEDIATYPE_Video, &compressor.subtype}};
        REGFILTERPINS pins[] = {
            {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, inputs},
            {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, outputs}};
        REGFILTER2 filter{};
        filter.dwVersion = 1;
        // Only chosen by name: never pulled into a graph that just wants a connection.
        filter.dwMerit = MERIT_DO_NOT_USE;
        filter.cPins = 2;
        filter.rgPins = pins;
        return mapper->RegisterFilter(*compressor.id, compressor.name, nullptr,
                                      &CLSID_VideoCompressorCategory, compressor.name, &filter);
    });
}

HRESULT UnregisterCompressors() {
    return ForEachCompressor([](IFilterMapper2* mapper, Compressor const& compressor) {
        HRESULT result =
            mapper->UnregisterFilter(&CLSID_VideoCompressorCategory, compressor.name, *compressor.id);
        return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : result;
    });
}
