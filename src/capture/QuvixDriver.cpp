#include "capture/QuvixDriver.h"

#include <vector>

#include "capture/QuvixSinkWindow.h"
#include "capture/QuvixSurface.h"
#include "foundation/CorvaneLogging.h"

namespace {

constexpr DWORD kMirroringDriver = 8;  // DISPLAY_DEVICE_MIRRORING_DRIVER
constexpr DWORD kMaxDevices = 256;
constexpr UINT kSinkTimeoutMs = 5000;
constexpr DWORD kMutexTimeoutMs = 30000;
constexpr int kMaxSinks = 1024;

// The device name of the mirror driver's display device; empty when there is none.
std::wstring FindDevice() {
    DISPLAY_DEVICEW device = {};
    device.cb = sizeof(device);
    for (DWORD index = 0; index < kMaxDevices && EnumDisplayDevicesW(nullptr, index, &device, 0); ++index) {
        if ((device.StateFlags & kMirroringDriver) &&
            std::wstring(device.DeviceID) == CQuvixDriver::kDeviceId) {
            return device.DeviceName;
        }
        device.cb = sizeof(device);
    }
    return std::wstring();
}

}  // namespace

bool CQuvixDriver::IsNtPlatform() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    bool known = GetVersionExW(&version);
#pragma GCC diagnostic pop
    return known && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

CQuvixDriver::CQuvixDriver()
    : mCreateSurfaces(RegisterWindowMessageW(L"halvik.message.create_surfaces")),
      mDestroySurfaces(RegisterWindowMessageW(L"halvik.message.destroy_surfaces")) {}

CQuvixDriver::~CQuvixDriver() {
    if (mInstance == this) {
        mInstance = nullptr;
    }
    mSink.reset();
    if (mDeviceContext) {
        DeleteDC(mDeviceContext);
    }
}

int CQuvixDriver::CheckState() {
    CriticalSectionLock lock(mLock);
    if (mTestDevice) {
        mState = Attached;
        return mState;
    }
    std::wstring name = FindDevice();
    if (name.empty()) {
        mState = NoDevice;
    } else {
        CriticalSectionLock deviceLock(mDeviceLock);
        mDeviceName = name;
        mState = ReadAttachValue();
    }
    return mState;
}

int CQuvixDriver::ReadAttachValue() const {
    HKEY key = nullptr;
    std::wstring path = std::wstring(kServicesKey) + kDeviceKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return NotAttached;
    }
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    LONG result = RegQueryValueExW(key, kAttachValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) {
        return ValueUnreadable;
    }
    return value ? Attached : NotAttached;
}

int CQuvixDriver::GetState() {
    CriticalSectionLock lock(mLock);
    return mState;
}

bool CQuvixDriver::CanBeUsed() {
    return IsNtPlatform() && CheckState() == Attached;
}

IQuvixDevice& CQuvixDriver::GetDevice() {
    IQuvixDevice* device = mTestDevice;
    return device ? *device : *this;
}

void CQuvixDriver::SetDevice(IQuvixDevice* device) {
    mTestDevice = device;
}

void CQuvixDriver::AddSurface(CQuvixSurface* surface) {
    CriticalSectionLock lock(mLock);
    mSurfaces.insert(surface);
    if (!mSink) {
        mLastMode = SIZE{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        mSink.reset(new QuvixSinkWindow(*this));
    }
}

void CQuvixDriver::RemoveSurface(CQuvixSurface* surface) {
    std::unique_ptr<QuvixSinkWindow> sink;
    {
        CriticalSectionLock lock(mLock);
        mSurfaces.erase(surface);
        if (mSurfaces.empty()) {
            sink = std::move(mSink);
        }
    }
    // Outside the lock: the sink's thread may be waiting for it.
}

HWND CQuvixDriver::GetSinkWindow() {
    CriticalSectionLock lock(mLock);
    return mSink ? mSink->GetHwnd() : nullptr;
}

void CQuvixDriver::MapSurfaces() {
    CriticalSectionLock lock(mLock);
    for (CQuvixSurface* surface : mSurfaces) {
        surface->Map();
    }
}

void CQuvixDriver::UnmapSurfaces() {
    CriticalSectionLock lock(mLock);
    for (CQuvixSurface* surface : mSurfaces) {
        surface->Unmap();
    }
}

void CQuvixDriver::OnDisplayChange(SIZE mode) {
    {
        CriticalSectionLock lock(mLock);
        if (mode.cx == mLastMode.cx && mode.cy == mLastMode.cy) {
            return;
        }
        mLastMode = mode;
    }
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    DWORD waited = mutex ? WaitForSingleObject(mutex, kMutexTimeoutMs) : WAIT_FAILED;
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CORVANE_LOG("Display change: driver mutex not taken");
    } else {
        SendToSinks(mDestroySurfaces);
        GetDevice().Reattach(mode);
        SendToSinks(mCreateSurfaces);
        RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        ReleaseMutex(mutex);
    }
    if (mutex) {
        CloseHandle(mutex);
    }
}

// Every process's sink, this one's included.
void CQuvixDriver::SendToSinks(UINT message) {
    std::vector<HWND> sinks;
    for (HWND window = FindWindowExW(nullptr, nullptr, kSinkClass, nullptr);
         window && int(sinks.size()) < kMaxSinks;
         window = FindWindowExW(nullptr, window, kSinkClass, nullptr)) {
        sinks.push_back(window);
    }
    for (HWND window : sinks) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, message, 0, 0, SMTO_NORMAL, kSinkTimeoutMs, &result);
    }
}

std::wstring CQuvixDriver::GetDeviceName() {
    CriticalSectionLock lock(mDeviceLock);
    return mDeviceName;
}

HDC CQuvixDriver::GetDeviceContext() {
    CriticalSectionLock lock(mDeviceLock);
    if (!mDeviceContext && !mDeviceName.empty()) {
        mDeviceContext = CreateDCW(mDeviceName.c_str(), nullptr, nullptr, nullptr);
    }
    return mDeviceContext;
}

int CQuvixDriver::Escape(unsigned long code, int size, char const* block) {
    HDC context = GetDeviceContext();
    return context ? ExtEscape(context, int(code), size, block, 0, nullptr) : 0;
}

bool CQuvixDriver::GetDisplayMode(SIZE& mode) {
    DEVMODEW settings = {};
    settings.dmSize = sizeof(settings);
    std::wstring name = GetDeviceName();
    if (name.empty() || !EnumDisplaySettingsW(name.c_str(), ENUM_CURRENT_SETTINGS, &settings)) {
        return false;
    }
    mode = SIZE{LONG(settings.dmPelsWidth), LONG(settings.dmPelsHeight)};
    return true;
}

bool CQuvixDriver::Reattach(SIZE const& mode) {
    std::wstring name = GetDeviceName();
    if (name.empty()) {
        return false;
    }
    DEVMODEW settings = {};
    settings.dmSize = sizeof(settings);
    settings.dmFields = DM_POSITION | DM_PELSWIDTH | DM_PELSHEIGHT;
    settings.dmPelsWidth = DWORD(mode.cx);
    settings.dmPelsHeight = DWORD(mode.cy);
    LONG result =
        ChangeDisplaySettingsExW(name.c_str(), &settings, nullptr, CDS_UPDATEREGISTRY | CDS_NORESET, nullptr);
    ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
    return result == DISP_CHANGE_SUCCESSFUL;
}
