#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "recording/BmpToAviParms.h"
#include "recording/IBmpToAvi.h"

class CodecsEngine;

// A DirectShow graph that writes bitmaps into an AVI file: the "BmpToAvi" source, an
// optional video compressor, the AVI multiplexer and the file writer. One graph per file;
// built, fed and closed on one thread, which has initialised COM.
class CBmpToAvi {
public:
    CBmpToAvi();
    // Closes the graph and releases everything it holds.
    ~CBmpToAvi();
    CBmpToAvi(CBmpToAvi const&) = delete;
    CBmpToAvi& operator=(CBmpToAvi const&) = delete;

    // Builds the graph for `path` (an existing file there is replaced) with the compressor
    // named `codec` (empty or CodecsEngine::kUncompressed: none) and starts it. False on any
    // failure, whose text is logged and kept in GetLastErrorText().
    bool Open(tagBMPTOAVI_PARMS const& parms, char const* path, std::string const& codec);
    // Writes one frame of the parameters' size: true exactly when the source delivered it.
    bool AddFrame(HBITMAP bitmap);
    // Stops the graph, which completes the file, and releases it. True when the stop succeeded.
    bool Close();

    HRESULT GetLastResult() const { return mResult; }
    std::string const& GetLastErrorText() const { return mLastError; }

private:
    void InitGraph(tagBMPTOAVI_PARMS const& parms, char const* path, std::string const& codec);
    void CreateFilters(tagBMPTOAVI_PARMS const& parms);
    void SetFullInterleaving();
    IBaseFilter* ChooseCompressor(std::string const& codec);
    void SetCompressorQuality(int quality);
    void RenewMultiplexer();
    void ConnectFilters(IBaseFilter* compressor);
    void StartWriting(char const* path);
    void ReleaseGraph();
    // Keeps `result`; raises BaseError with `text` when it failed.
    void Check(HRESULT result, char const* text);

    Microsoft::WRL::ComPtr<IGraphBuilder> mGraph;
    Microsoft::WRL::ComPtr<IMediaControl> mControl;
    Microsoft::WRL::ComPtr<IMediaEvent> mEvent;
    Microsoft::WRL::ComPtr<IBaseFilter> mSource;
    Microsoft::WRL::ComPtr<IBaseFilter> mMux;
    Microsoft::WRL::ComPtr<IBaseFilter> mWriter;
    Microsoft::WRL::ComPtr<IBmpToAvi> mBmpToAvi;
    HRESULT mResult = S_OK;
    std::string mLastError;
    CodecsEngine* mCodecs = nullptr;  // owned; lives while a graph is open
};
