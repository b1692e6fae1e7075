#include "recording/CBmpToAvi.h"

#include <io.h>

#include <algorithm>

#include "foundation/Errors.h"
#include "recording/CodecsEngine.h"
#include "recording/FilterPins.h"

using Microsoft::WRL::ComPtr;

namespace {

// Whether the writer's input pin hands the multiplexer a stream it can seek in, which the
// multiplexer needs to finish the file; Wine's file writer does not.
bool WritesThroughStream(IBaseFilter* writer) {
    ComPtr<IPin> input = GetFirstPin(writer, PINDIR_INPUT);
    ComPtr<IStream> stream;
    return input &&
           SUCCEEDED(input->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.GetAddressOf())));
}

}  // namespace

CBmpToAvi::CBmpToAvi() = default;

CBmpToAvi::~CBmpToAvi() {
    Close();
}

bool CBmpToAvi::Open(tagBMPTOAVI_PARMS const& parms, char const* path, std::string const& codec) {
    mLastError.clear();
    try {
        InitGraph(parms, path, codec);
        return true;
    } catch (BaseError const& error) {
        mLastError = error.what();
        // A graph that did not start may have started some of its filters: a frame sent into
        // a multiplexer without its file crashes it. Nothing of it is kept.
        HRESULT const failure = mResult;
        Close();
        mResult = failure;
        return false;
    }
}

void CBmpToAvi::InitGraph(tagBMPTOAVI_PARMS const& parms, char const* path, std::string const& codec) {
    Close();
    Check(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                           reinterpret_cast<void**>(mGraph.GetAddressOf())),
          "Cannot initialize FilterGraph object");
    Check(mGraph.As(&mControl), "Cannot initialize MediaControl object");
    Check(mGraph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(mEvent.GetAddressOf())),
          "Cannot initialize MediaEvent object");
    mCodecs = new CodecsEngine();
    CreateFilters(parms);
    IBaseFilter* compressor = codec.empty() ? nullptr : ChooseCompressor(codec);
    if (compressor) {
        SetCompressorQuality(parms.quality);
        RenewMultiplexer();
    }
    ConnectFilters(compressor);
    StartWriting(path);
}

void CBmpToAvi::CreateFilters(tagBMPTOAVI_PARMS const& parms) {
    auto create = [this](CLSID const& id, ComPtr<IBaseFilter>& filter, char const* text) {
        Check(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf())),
              text);
    };
    create(CLSID_BmpToAvi, mSource, "Cannot create BmpToAvi object's instance");
    create(CLSID_AviDest, mMux, "Cannot create AviMux object's instance");
    create(CLSID_FileWriter, mWriter, "Cannot create FileWriter object's instance");
    if (!WritesThroughStream(mWriter.Get())) {
        create(CLSID_BmpToAviFileSink, mWriter, "Cannot create FileWriter object's instance");
    }
    Check(mSource->QueryInterface(IID_IBmpToAvi, reinterpret_cast<void**>(mBmpToAvi.GetAddressOf())),
          "Cannot initialize BaseFilter object");
    Check(mBmpToAvi->SetParams(&parms), "Cannot set IBmpToAviPtr's params");
    SetFullInterleaving();
    Check(mGraph->AddFilter(mSource.Get(), L"BmpToAvi"), "Failed filter adding");
    Check(mGraph->AddFilter(mMux.Get(), L"AviMux"), "Failed filter adding");
    Check(mGraph->AddFilter(mWriter.Get(), L"FileWriter"), "Failed filter adding");
}

// Wine's multiplexer runs in full interleaving only; it is the usual mode for capture anyway.
// A multiplexer without the setting keeps its own.
void CBmpToAvi::SetFullInterleaving() {
    ComPtr<IConfigInterleaving> interleaving;
    if (SUCCEEDED(mMux->QueryInterface(IID_IConfigInterleaving,
                                       reinterpret_cast<void**>(interleaving.GetAddressOf())))) {
        interleaving->put_Mode(INTERLEAVE_FULL);
    }
}

IBaseFilter* CBmpToAvi::ChooseCompressor(std::string const& codec) {
    if (!mCodecs->SetFilters(mSource.Get(), mMux.Get())) {
        Check(E_FAIL, "Cannot set codec's filters");
    }
    bool isCompressor = true;
    bool selected = mCodecs->SelectCompressor(codec, isCompressor);
    // The probe only tells whether the compressor fits; the graph is connected anew below.
    mCodecs->Refresh();
    if (!selected && isCompressor) {
        Check(E_FAIL, "Cannot select compressor");
    }
    return selected ? mCodecs->GetCompressor() : nullptr;
}

// The probe connected the compressor to the multiplexer and took it down again; Wine's
// multiplexer drops its input's sample allocator on that disconnection and faults on the next
// connection. So the graph is connected to a fresh one.
void CBmpToAvi::RenewMultiplexer() {
    mGraph->RemoveFilter(mMux.Get());
    Check(CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                           reinterpret_cast<void**>(mMux.ReleaseAndGetAddressOf())),
          "Cannot create AviMux object's instance");
    SetFullInterleaving();
    Check(mGraph->AddFilter(mMux.Get(), L"AviMux"), "Failed filter adding");
}

// A quality of 0 leaves the compressor's own; so does a compressor that takes none.
void CBmpToAvi::SetCompressorQuality(int quality) {
    tagINFO* info = mCodecs->GetCurInfo();
    if (quality > 0 && info && info->canQuality && info->compression) {
        info->compression->put_Quality(std::min(quality, 100) / 100.0);
    }
}

// The multiplexer's output is connected first: Wine's multiplexer reconnects its connected
// inputs when its output connects, and fails in that reconnection.
void CBmpToAvi::ConnectFilters(IBaseFilter* compressor) {
    ComPtr<IPin> sourceOut = GetFirstPin(mSource.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> muxIn = GetFirstPin(mMux.Get(), PINDIR_INPUT);
    ComPtr<IPin> muxOut = GetFirstPin(mMux.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> writerIn = GetFirstPin(mWriter.Get(), PINDIR_INPUT);
    if (!sourceOut || !muxIn || !muxOut || !writerIn) {
        Check(E_FAIL, "Failed connection");
    }
    if (compressor) {
        Check(mGraph->AddFilter(compressor, L"Compr"), "Failed filter adding");
        ComPtr<IPin> compressorIn = GetFirstPin(compressor, PINDIR_INPUT);
        ComPtr<IPin> compressorOut = GetFirstPin(compressor, PINDIR_OUTPUT);
        if (!compressorIn || !compressorOut) {
            Check(E_FAIL, "Failed connection");
        }
        Check(mGraph->Connect(muxOut.Get(), writerIn.Get()), "Failed connection");
        Check(mGraph->Connect(sourceOut.Get(), compressorIn.Get()), "Failed connection");
        Check(mGraph->Connect(compressorOut.Get(), muxIn.Get()), "Failed connection");
    } else {
        Check(mGraph->ConnectDirect(muxOut.Get(), writerIn.Get(), nullptr), "Failed connection");
        Check(mGraph->ConnectDirect(sourceOut.Get(), muxIn.Get(), nullptr), "Failed connection");
    }
}

void CBmpToAvi::StartWriting(char const* path) {
    ComPtr<IFileSinkFilter> sink;
    Check(mWriter.As(&sink), "Cannot initialize FileSinkFilter object");
    wchar_t widePath[MAX_PATH] = {};
    if (!path || MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0) {
        Check(E_INVALIDARG, "Cannot set file name");
    }
    Check(sink->SetFileName(widePath, nullptr), "Cannot set file name");
    _unlink(path);
    Check(mControl->Run(), "Cannot run the graph");
}

bool CBmpToAvi::AddFrame(HBITMAP bitmap) {
    if (!mBmpToAvi) {
        return false;
    }
    mResult = mBmpToAvi->AddFrame(bitmap);
    return mResult == S_OK;
}

bool CBmpToAvi::Close() {
    if (!mGraph) {
        return false;
    }
    bool stopped = false;
    if (mControl) {
        mResult = mControl->Stop();
        stopped = SUCCEEDED(mResult);
    }
    if (mEvent) {
        long code = 0;
        mEvent->WaitForCompletion(INFINITE, &code);
    }
    // A graph whose start failed half-way leaves some filters running, and Wine's graph then
    // cannot take them out: stop each one (stopping a stopped filter does nothing).
    for (IBaseFilter* filter : {mWriter.Get(), mMux.Get(), mSource.Get()}) {
        if (filter) {
            filter->Stop();
        }
    }
    ReleaseGraph();
    return stopped;
}

void CBmpToAvi::ReleaseGraph() {
    delete mCodecs;
    mCodecs = nullptr;
    mBmpToAvi.Reset();
    mSource.Reset();
    mMux.Reset();
    mWriter.Reset();
    mEvent.Reset();
    mControl.Reset();
    mGraph.Reset();
}

void CBmpToAvi::Check(HRESULT result, char const* text) {
    mResult = result;
    if (FAILED(result)) {
        Raise(BaseError(text));
    }
}
