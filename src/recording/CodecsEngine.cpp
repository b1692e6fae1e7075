#include "recording/CodecsEngine.h"

#include <memory>

#include "recording/FilterPins.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kProbeName[] = L"Compressor";

std::string FriendlyName(IMoniker* moniker) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void**>(bag.GetAddressOf())))) {
        return std::string();
    }
    VARIANT name;
    VariantInit(&name);
    std::string result;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR) {
        result = WideToAnsi(name.bstrVal);
    }
    VariantClear(&name);
    return result;
}

}  // namespace

CodecsEngine::CodecsEngine() {
    Init();
}

CodecsEngine::~CodecsEngine() {
    DisconnectCompressor();
    Release();
}

void CodecsEngine::Init() {
    ComPtr<ICreateDevEnum> devices;
    mResult = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               reinterpret_cast<void**>(devices.GetAddressOf()));
    ComPtr<IEnumMoniker> monikers;
    if (SUCCEEDED(mResult)) {
        // S_FALSE: the category is empty.
        mResult = devices->CreateClassEnumerator(CLSID_VideoCompressorCategory, monikers.GetAddressOf(), 0);
    }
    std::vector<ComPtr<IMoniker>> kept;
    if (mResult == S_OK && monikers) {
        ComPtr<IMoniker> moniker;
        while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            mNames.push_back(FriendlyName(moniker.Get()));
            kept.push_back(moniker);
        }
    }
    mNames.push_back(kUncompressed);
    kept.push_back(nullptr);
    mInfos.resize(mNames.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        mInfos[i].moniker = kept[i];
    }
}

void CodecsEngine::Release() {
    mInfos.clear();
    mNames.clear();
    mCurrent = -1;
    mGraph.Reset();
}

std::vector<std::string> CodecsEngine::GetCodecs() const {
    return mNames;
}

bool CodecsEngine::SetFilters(IBaseFilter* source, IBaseFilter* destination) {
    FILTER_INFO info{};
    if (!source || FAILED(source->QueryFilterInfo(&info))) {
        return false;
    }
    if (!info.pGraph) {
        return false;
    }
    mGraph.Attach(info.pGraph);
    mSource = source;
    mDestination = destination;
    return true;
}

bool CodecsEngine::SelectCompressor(std::string const& name, bool& isCompressor) {
    isCompressor = true;
    DisconnectCompressor();
    int found = -1;
    for (std::size_t i = 0; i < mNames.size(); ++i) {
        if (mNames[i] == name) {
            found = static_cast<int>(i);
        }
    }
    if (found < 0) {
        return false;
    }
    mCurrent = found;
    tagINFO& info = mInfos[static_cast<std::size_t>(found)];
    if (info.filter) {
        info.connected = ConnectCompressor();
        return true;
    }
    if (!info.moniker) {
        isCompressor = false;
        return false;
    }
    if (!Bind(info)) {
        return false;
    }
    info.connected = ConnectCompressor();
    return true;
}

bool CodecsEngine::Bind(tagINFO& info) {
    mResult = info.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                         reinterpret_cast<void**>(info.filter.ReleaseAndGetAddressOf()));
    if (FAILED(mResult) || !info.filter) {
        info.filter.Reset();
        return false;
    }
    if (SUCCEEDED(info.filter->QueryInterface(IID_IAMVfwCompressDialogs,
                                              reinterpret_cast<void**>(info.dialogs.GetAddressOf())))) {
        info.hasConfigureDialog = info.dialogs->ShowDialog(VfwCompressDialog_QueryConfig, nullptr) == S_OK;
        info.hasAboutDialog = info.dialogs->ShowDialog(VfwCompressDialog_QueryAbout, nullptr) == S_OK;
    }
    ReadCapabilities(info);
    return true;
}

void CodecsEngine::ReadCapabilities(tagINFO& info) {
    ComPtr<IPin> output = GetFirstPin(info.filter.Get(), PINDIR_OUTPUT);
    if (!output || FAILED(output.As(&info.compression))) {
        return;
    }
    if (FAILED(info.compression->GetInfo(nullptr, nullptr, nullptr, nullptr, &info.defaultKeyFrameRate,
                                         &info.defaultPFramesPerKey, &info.defaultQuality,
                                         &info.capabilities))) {
        return;
    }
    info.canQuality = (info.capabilities & 0x01) != 0;
    info.canCrunch = (info.capabilities & 0x02) != 0;
    info.canKeyFrame = (info.capabilities & 0x04) != 0;
    info.canBFrame = (info.capabilities & 0x08) != 0;
    info.canWindow = (info.capabilities & 0x10) != 0;
}

IBaseFilter* CodecsEngine::GetCompressor() const {
    return mCurrent < 0 ? nullptr : mInfos[static_cast<std::size_t>(mCurrent)].filter.Get();
}

tagINFO* CodecsEngine::GetCurInfo() {
    return mCurrent < 0 ? nullptr : &mInfos[static_cast<std::size_t>(mCurrent)];
}

void CodecsEngine::Refresh() {
    DisconnectCompressor();
}

bool CodecsEngine::ConnectCompressor() {
    IBaseFilter* compressor = GetCompressor();
    if (!mGraph || !compressor) {
        return false;
    }
    mResult = mGraph->AddFilter(compressor, kProbeName);
    if (FAILED(mResult)) {
        return false;
    }
    mSourceOut = GetFirstPin(mSource, PINDIR_OUTPUT);
    mCompressorIn = GetFirstPin(compressor, PINDIR_INPUT);
    mCompressorOut = GetFirstPin(compressor, PINDIR_OUTPUT);
    mDestinationIn = GetFirstPin(mDestination, PINDIR_INPUT);
    if (!mSourceOut || !mCompressorIn || !mCompressorOut || !mDestinationIn) {
        return false;
    }
    mResult = mGraph->ConnectDirect(mSourceOut.Get(), mCompressorIn.Get(), nullptr);
    if (SUCCEEDED(mResult)) {
        mResult = mGraph->ConnectDirect(mCompressorOut.Get(), mDestinationIn.Get(), nullptr);
    }
    return SUCCEEDED(mResult);
}

void CodecsEngine::DisconnectCompressor() {
    if (mGraph) {
        for (ComPtr<IPin>* pin : {std::addressof(mSourceOut), std::addressof(mCompressorIn),
                                  std::addressof(mCompressorOut), std::addressof(mDestinationIn)}) {
            if (*pin) {
                mGraph->Disconnect(pin->Get());
            }
        }
        if (IBaseFilter* compressor = GetCompressor()) {
            mGraph->RemoveFilter(compressor);
        }
    }
    for (ComPtr<IPin>* pin : {std::addressof(mSourceOut), std::addressof(mCompressorIn),
                              std::addressof(mCompressorOut), std::addressof(mDestinationIn)}) {
        pin->Reset();
    }
}
