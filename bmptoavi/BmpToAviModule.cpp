// The COM server of BmpToAvi.dll: its class factory, unload rule and self-registration.
#include "BmpToAviModule.h"

#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <atomic>
#include <string>

#include "BmpToAviFilter.h"
#include "CompressorCategory.h"
#include "FileSinkFilter.h"
#include "MjpegCompressorFilter.h"
#include "ZmbvCompressorFilter.h"
#include "recording/BmpToAviCodecs.h"

namespace {

HMODULE gModule = nullptr;
std::atomic<long> gReferences{0};

// A new filter with one reference, or null.
using Creator = IBaseFilter* (*)();

template <class Filter>
IBaseFilter* Create() {
    return new (std::nothrow) Filter();
}

class ClassFactory : public IClassFactory {
public:
    constexpr ClassFactory(CLSID const& id, wchar_t const* name, Creator create)
        : mId(id), mName(name), mCreate(create) {}
    CLSID const& Id() const { return mId; }
    wchar_t const* Name() const { return mName; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: its references are the module's.
    ULONG STDMETHODCALLTYPE AddRef() override {
        ModuleAddRef();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ModuleRelease();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        IBaseFilter* filter = mCreate();
        if (!filter) {
            return E_OUTOFMEMORY;
        }
        HRESULT result = filter->QueryInterface(iid, object);
        filter->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ModuleAddRef();
        } else {
            ModuleRelease();
        }
        return S_OK;
    }

private:
    CLSID mId;
    wchar_t const* mName;
    Creator mCreate;
};

ClassFactory gFactories[] = {
    {CLSID_BmpToAvi, L"BmpToAvi", &Create<BmpToAviFilter>},
    {CLSID_BmpToAviFileSink, L"BmpToAvi File Sink", &Create<FileSinkFilter>},
    {CLSID_BmpToAviZmbv, L"" BMPTOAVI_LOSSLESS_NAME, &Create<ZmbvCompressorFilter>},
    {CLSID_BmpToAviMjpeg, L"" BMPTOAVI_MOTION_JPEG_NAME, &Create<MjpegCompressorFilter>}};

std::wstring ClassKey(CLSID const& id) {
    wchar_t clsid[64] = {};
    StringFromGUID2(id, clsid, 64);
    return std::wstring(L"CLSID\\") + clsid;
}

bool SetValue(HKEY root, std::wstring const& path, wchar_t const* name, std::wstring const& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<BYTE const*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace

void ModuleAddRef() {
    ++gReferences;
}

void ModuleRelease() {
    --gReferences;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID id, REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    for (ClassFactory& factory : gFactories) {
        if (factory.Id() == id) {
            return factory.QueryInterface(iid, object);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return gReferences == 0 ? S_OK : S_FALSE;
}

// Registers the classes as in-process servers of this file, usable from any apartment.
// Registering again overwrites the same values.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(gModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return SELFREG_E_CLASS;
    }
    for (ClassFactory const& factory : gFactories) {
        std::wstring key = ClassKey(factory.Id());
        std::wstring server = key + L"\\InprocServer32";
        bool done = SetValue(HKEY_CLASSES_ROOT, key, nullptr, factory.Name()) &&
                    SetValue(HKEY_CLASSES_ROOT, server, nullptr, path) &&
                    SetValue(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Both");
        if (!done) {
            return SELFREG_E_CLASS;
        }
    }
    return SUCCEEDED(RegisterCompressors()) ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    HRESULT outcome = SUCCEEDED(UnregisterCompressors()) ? S_OK : SELFREG_E_CLASS;
    for (ClassFactory const& factory : gFactories) {
        LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(factory.Id()).c_str());
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            outcome = SELFREG_E_CLASS;
        }
    }
    return outcome;
}
