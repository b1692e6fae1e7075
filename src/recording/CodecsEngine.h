#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>
#include <vector>

// One video compressor as the engine knows it. Interfaces are filled in when it is selected.
struct tagINFO {
    Microsoft::WRL::ComPtr<IMoniker> moniker;    // null for the uncompressed entry
    Microsoft::WRL::ComPtr<IBaseFilter> filter;  // null until selected
    Microsoft::WRL::ComPtr<IAMVfwCompressDialogs> dialogs;
    Microsoft::WRL::ComPtr<IAMVideoCompression> compression;  // of the output pin
    double defaultQuality = 0;
    long defaultKeyFrameRate = 0;
    long defaultPFramesPerKey = 0;
    long capabilities = 0;  // CompressionCaps bits, as GetInfo reports them
    bool hasConfigureDialog = false;
    bool hasAboutDialog = false;
    bool canQuality = false;   // bit 0
    bool canCrunch = false;    // bit 1
    bool canKeyFrame = false;  // bit 2
    bool canBFrame = false;    // bit 3
    bool canWindow = false;    // bit 4
    bool connected = false;    // the last probe's result
};

// The installed video compressors by friendly name, and the choice of one: selecting binds it,
// records its dialogs and capabilities and probes whether it takes the source's output. Lives
// inside an open graph, on the thread that builds it (which has initialised COM).
class CodecsEngine {
public:
    // The last entry of GetCodecs(): recording without a compressor.
    static constexpr char const* kUncompressed = "Full Frames (Uncompressed)";

    // Enumerates the compressors.
    CodecsEngine();
    // Takes the probe down and releases every compressor.
    ~CodecsEngine();
    CodecsEngine(CodecsEngine const&) = delete;
    CodecsEngine& operator=(CodecsEngine const&) = delete;

    // The names in enumeration order, kUncompressed last.
    std::vector<std::string> GetCodecs() const;
    // Stores the source's graph and both filters (not held beyond the engine's life), only
    // when the source belongs to a graph.
    bool SetFilters(IBaseFilter* source, IBaseFilter* destination);
    // Makes `name` current (the last of equal names), binds and probes it. `isCompressor`
    // is false only for the uncompressed entry, which selects no filter.
    bool SelectCompressor(std::string const& name, bool& isCompressor);
    // The current compressor's filter (null without one) and record (null before a choice);
    // both owned by the engine.
    IBaseFilter* GetCompressor() const;
    tagINFO* GetCurInfo();
    // Takes the probe down.
    void Refresh();
    HRESULT GetLastResult() const { return mResult; }

private:
    void Init();
    void Release();
    bool Bind(tagINFO& info);
    void ReadCapabilities(tagINFO& info);
    bool ConnectCompressor();
    void DisconnectCompressor();

    Microsoft::WRL::ComPtr<IFilterGraph> mGraph;
    IBaseFilter* mSource = nullptr;       // not held: the graph holds it
    IBaseFilter* mDestination = nullptr;  // not held: the graph holds it
    Microsoft::WRL::ComPtr<IPin> mSourceOut;
    Microsoft::WRL::ComPtr<IPin> mCompressorIn;
    Microsoft::WRL::ComPtr<IPin> mCompressorOut;
    Microsoft::WRL::ComPtr<IPin> mDestinationIn;
    std::vector<std::string> mNames;
    std::vector<tagINFO> mInfos;  // one per name, same order
    HRESULT mResult = S_OK;
    int mCurrent = -1;
};
