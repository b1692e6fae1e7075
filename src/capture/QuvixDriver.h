#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>

#include "capture/IQuvixDevice.h"
#include "foundation/CriticalSection.h"

class CQuvixSurface;
class QuvixSinkWindow;

// The process-wide connection to the optional mirror display driver: finds its display device,
// reads whether it is attached to the desktop, escapes to it through a device context kept for
// the process, and keeps the surfaces mapped across display changes through a hidden sink
// window (made with the first surface, on a thread of its own). Any thread.
class CQuvixDriver : public IQuvixDevice {
public:
    enum State { NotSetUp = 0, NoDevice = 1, ValueUnreadable = 2, NotAttached = 3, Attached = 4 };

    static constexpr wchar_t kDeviceId[] = L"halvik_quvix";
    static constexpr wchar_t kServicesKey[] =
        L"System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Services\\";
    static constexpr wchar_t kDeviceKey[] = L"quvix\\device0";
    static constexpr wchar_t kAttachValue[] = L"Attach.ToDesktop";
    static constexpr wchar_t kSinkClass[] = L"halvik.display_changed_sink";
    static constexpr wchar_t kMutexName[] = L"halvik.mutex";

    // Registers the sink's messages; the device is looked for on first use.
    CQuvixDriver();
    ~CQuvixDriver() override;
    CQuvixDriver(CQuvixDriver const&) = delete;
    CQuvixDriver& operator=(CQuvixDriver const&) = delete;

    // The process-wide driver (the object lives in Core.cpp); null once it is gone.
    static CQuvixDriver* Instance() { return mInstance; }

    // Looks for the device and reads its registry value again; the state found.
    int CheckState();
    int GetState();
    static bool IsNtPlatform();
    // On the NT platform with the driver attached.
    bool CanBeUsed();

    // Where escapes go: a device set with SetDevice, else the driver's own display device.
    IQuvixDevice& GetDevice();
    // Tests put a fake driver here, which then counts as attached; null puts the display device
    // back. The fake is not owned and must outlive its use.
    void SetDevice(IQuvixDevice* device);

    // Surfaces register for display changes; they must unregister before they go.
    void AddSurface(CQuvixSurface* surface);
    void RemoveSurface(CQuvixSurface* surface);
    // The sink window while a surface exists; null otherwise.
    HWND GetSinkWindow();

    UINT GetCreateSurfacesMessage() const { return mCreateSurfaces; }
    UINT GetDestroySurfacesMessage() const { return mDestroySurfaces; }

    // The sink window's messages, on its thread.
    void MapSurfaces();
    void UnmapSurfaces();
    // The screen's geometry is now `mode`: when it changed, every process's surfaces are
    // unmapped, the driver re-attached in the new mode and the surfaces mapped again.
    void OnDisplayChange(SIZE mode);

    // IQuvixDevice, on the real display device.
    int Escape(unsigned long code, int size, char const* block) override;
    bool GetDisplayMode(SIZE& mode) override;
    bool Reattach(SIZE const& mode) override;

private:
    static CQuvixDriver* mInstance;

    int ReadAttachValue() const;
    std::wstring GetDeviceName();
    HDC GetDeviceContext();
    void SendToSinks(UINT message);

    UINT mCreateSurfaces;
    UINT mDestroySurfaces;
    int mState = NotSetUp;
    std::atomic<IQuvixDevice*> mTestDevice{nullptr};  // not owned
    std::set<CQuvixSurface*> mSurfaces;               // not owned
    std::unique_ptr<QuvixSinkWindow> mSink;
    SIZE mLastMode = {0, 0};
    // Guards the state, the surfaces and the sink. Taken before a surface's own lock.
    CriticalSection mLock;
    std::wstring mDeviceName;
    HDC mDeviceContext = nullptr;  // owned, made once
    // Guards the device name and context; taken last, under a surface's lock too.
    CriticalSection mDeviceLock;
};
