#include "PeerSharing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "PeerDesktop.h"
#include "codec/ScreenEncoder.h"
#include "foundation/SyncEvent.h"
#include "imaging/Picture.h"
#include "input/ClipboardHelper.h"
#include "session/TrackingState.h"
#include "network/ControlMessages.h"
#include "session/ISession.h"
#include "session/SessionManager.h"
#include "skype/SkypeApplication.h"

PeerSharing::PeerSharing(PeerSessions& sessions, PeerOutput& output) : mSessions(sessions), mOutput(output) {}

namespace {
constexpr int kAreaWidth = 640;
constexpr int kAreaHeight = 480;
constexpr int kStampBits = 32;
constexpr int kStampBlock = 16;

// Milliseconds of the wall clock, which both machines of this computer share (their tick
// counts start with their own Wine servers).
DWORD WallMs() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    return static_cast<DWORD>(value.QuadPart / 10000);
}
}  // namespace

PeerSharing::~PeerSharing() {
    mSessions.View().SetDrawnHandler(PeerView::DrawnHandler());
    Animate(false);
}

// The tap counts what arrives; the delays and the area come from the picture bob's session
// draws, so that the tap does not decode the pictures a second time, unless a measure asks
// for the tap's own (for what reaches no session).
void PeerSharing::Tap(std::string const& contact) {
    SessionManager& manager = mSessions.Manager();
    if (!manager.GetControlApplication() || !manager.GetScreenApplication()) {
        throw std::runtime_error("attach first");
    }
    std::string const user = mSessions.SessionOf(contact).GetUserNameW();
    mTap.reset();
    mTap = std::make_unique<SharingTap>(
        manager.GetControlApplication(), manager.GetScreenApplication(), user,
        [this](std::vector<unsigned char> const& screen, SIZE size) { OnTapChange(screen, size); });
    mTap->DecodePictures(false);
    mSessions.WatchView(contact);
    mSessions.View().SetDrawnHandler(
        [this](HDC dc, SIZE size, long long changed) { OnDrawn(dc, size, changed); });
    mOutput.Say("tap " + user);
}

SharingTap& PeerSharing::NeedTap() {
    if (!mTap) {
        throw std::runtime_error("no tap: \"tap\" first");
    }
    return *mTap;
}

void PeerSharing::PrintCounts() {
    SharingTap::Counts const counts = NeedTap().GetCounts();
    mOutput.Say("tap-counts changes " + std::to_string(counts.changes) + " bytes " +
                std::to_string(counts.screenBytes) + " mouse " + std::to_string(counts.lastMouse.x) + " " +
                std::to_string(counts.lastMouse.y) + " moves " + std::to_string(counts.mouseMoves) +
                " clipboards " + std::to_string(counts.clipboards) + " acks " +
                std::to_string(counts.acknowledgements) + " pictures " +
                std::to_string(counts.pictureChanges));
}

std::vector<unsigned char> PeerSharing::GrabScreen(SIZE& size) {
    size = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, size.cx, size.cy, screen, 0, 0, SRCCOPY);
    GdiFlush();
    std::size_t const row = static_cast<std::size_t>(size.cx) * 3;
    std::size_t const stride = (row + 3) & ~std::size_t(3);
    std::vector<unsigned char> pixels(row * size.cy);
    for (int y = 0; y < size.cy; ++y) {
        std::memcpy(&pixels[y * row], static_cast<unsigned char const*>(bits) + y * stride, row);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

void PeerSharing::PrintScreenSum() {
    SIZE size;
    std::vector<unsigned char> const pixels = GrabScreen(size);
    mOutput.Say("screen-sum " + std::to_string(size.cx) + "x" + std::to_string(size.cy) + " " +
                PeerView::Checksum(pixels));
}

void PeerSharing::SaveScreen(std::wstring const& path) {
    SIZE size;
    std::vector<unsigned char> const pixels = GrabScreen(size);
    Picture::FromPixels(pixels.data(), size.cx, size.cy, 24, static_cast<std::size_t>(size.cx) * 3)
        .Save(path, Picture::Format::Png);
}

void PeerSharing::WaitScreen(std::string const& sum, unsigned seconds, bool picture) {
    std::string last;
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(20)) {
        SIZE size;
        last = picture ? mSessions.View().PictureChecksum() : PeerView::Checksum(NeedTap().GetScreen(size));
        if (last == sum) {
            break;
        }
    }
    std::string const name = picture ? "view-sum" : "tap-screen";
    DWORD const at = WallMs();
    mOutput.Say(name + " " + last);
    mOutput.Say(name + "-at " + std::to_string(at));
}

void PeerSharing::SendMouse(std::string const& contact, int x, int y) {
    if (!mSessions.SessionOf(contact).SendNetworkMessage(
            WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(x, y)))) {
        throw std::runtime_error("the session did not send");
    }
    mOutput.Say("mouse sent " + std::to_string(x) + " " + std::to_string(y));
}

void PeerSharing::WaitCursor(int x, int y, unsigned seconds) {
    POINT cursor = {-1, -1};
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(20)) {
        if (GetCursorPos(&cursor) && cursor.x == x && cursor.y == y) {
            break;
        }
    }
    mOutput.Say("cursor " + std::to_string(cursor.x) + " " + std::to_string(cursor.y));
}

void PeerSharing::PushClipboard(std::string const& contact) {
    boost::shared_ptr<ClipboardNetMsg> message = ClipboardHelper::CreateClipboardMessage();
    if (message->GetClipboardDataSize() == 0) {
        throw std::runtime_error("the clipboard is empty");
    }
    NeedTap();
    SharingTap::Counts const before = mTap->GetCounts();
    mSessions.SessionOf(contact).SendNetworkMessage(*message);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
        if (mTap->GetCounts().acknowledgements > before.acknowledgements) {
            mOutput.Say("clipboard pushed " + std::to_string(message->GetClipboardDataSize()) + " bytes");
            return;
        }
    }
    throw std::runtime_error("no acknowledgement");
}

void PeerSharing::PullClipboard(std::string const& contact) {
    NeedTap();
    SharingTap::Counts const before = mTap->GetCounts();
    mSessions.SessionOf(contact).SendNetworkMessage(ClipboardRequestNetMsg());
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
        if (mTap->GetCounts().clipboards > before.clipboards) {
            std::vector<unsigned char> const payload = mTap->GetClipboard();
            ClipboardHelper::ProcessClipboardMessage(ClipboardNetMsg(payload));
            mOutput.Say("clipboard pulled " + std::to_string(payload.size()) + " bytes");
            return;
        }
    }
    throw std::runtime_error("no clipboard came");
}

DWORD PeerSharing::ReadStamp(Bright const& bright, int row) {
    DWORD stamp = 0;
    for (int bit = 0; bit < kStampBits; ++bit) {
        stamp |= (bright(bit * kStampBlock + kStampBlock / 2, row + kStampBlock / 2) ? 1u : 0u) << bit;
    }
    return stamp;
}

// The older of the two strips: a change that brought only part of a paint counts from the
// paint the other part shows. Under mDelaysLock.
void PeerSharing::RecordDelay(SIZE size, Bright const& bright) {
    int const row = mStampRow.load();
    if (size.cx < kStampBits * kStampBlock || size.cy < kStampBlock || row < 0 ||
        row + kStampBlock > size.cy) {
        return;
    }
    DWORD const now = WallMs();
    DWORD const delay = std::max(now - ReadStamp(bright, 0), row > 0 ? now - ReadStamp(bright, row) : 0);
    if (delay < 60000) {
        mDelays.push_back(delay);
    }
}

// "SkypeEvent", after bob's session drew a frame.
void PeerSharing::OnDrawn(HDC dc, SIZE size, long long changed) {
    if (mFromTap.load()) {
        return;
    }
    CriticalSectionLock lock(mDelaysLock);
    mPixels += changed;
    RecordDelay(size, [dc](int x, int y) {
        COLORREF const pixel = GetPixel(dc, x, y);
        return pixel != CLR_INVALID && GetGValue(pixel) > 128;
    });
}

// "SkypeEvent", after the tap applied a change to its copy of the screen.
void PeerSharing::OnTapChange(std::vector<unsigned char> const& screen, SIZE size) {
    if (!mFromTap.load()) {
        return;
    }
    CriticalSectionLock lock(mDelaysLock);
    RecordDelay(size, [&](int x, int y) {
        return screen[(static_cast<std::size_t>(y) * size.cx + x) * 3 + 1] > 128;
    });
}

// The window stays: closing it would uncover the desktop, which repaints later by itself.
void PeerSharing::HoldStill() {
    mHolding = true;
    unsigned const pass = mPasses.load();
    while (mAnimating.load() && mPasses.load() < pass + 2) {
        Sleep(1);  // a paint under way ends first
    }
    mOutput.Say("still at " + std::to_string(WallMs()));
}

void PeerSharing::PrintCpu(unsigned seconds) {
    auto busy = [] {
        FILETIME created, exited, kernel, user;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        auto value = [](FILETIME const& time) {
            return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        };
        return value(kernel) + value(user);
    };
    unsigned long long const before = busy();
    DWORD const start = GetTickCount();
    Sleep(seconds * 1000);
    double const wall = (GetTickCount() - start) * 10000.0;  // in 100 ns
    char text[64];
    std::snprintf(text, sizeof(text), "cpu percent %.1f",
                  100.0 * static_cast<double>(busy() - before) / wall);
    mOutput.Say(text);
}

void PeerSharing::Measure(std::string const& label, unsigned seconds, bool fromTap) {
    NeedTap().DecodePictures(fromTap);
    mFromTap = fromTap;
    SharingTap::Counts const before = mTap->GetCounts();
    {
        CriticalSectionLock lock(mDelaysLock);
        mDelays.clear();
        mPixels = 0;
    }
    DWORD const start = GetTickCount();
    Sleep(seconds * 1000);
    SharingTap::Counts const after = mTap->GetCounts();
    double const elapsed = (GetTickCount() - start) / 1000.0;
    long median = -1;
    long high = -1;
    unsigned long long pixels = 0;
    {
        CriticalSectionLock lock(mDelaysLock);
        pixels = fromTap ? after.pixels - before.pixels : static_cast<unsigned long long>(mPixels);
        if (!mDelays.empty()) {
            std::sort(mDelays.begin(), mDelays.end());
            median = static_cast<long>(mDelays[mDelays.size() / 2]);
            high = static_cast<long>(mDelays[mDelays.size() * 95 / 100]);
        }
    }
    char text[240];
    std::snprintf(text, sizeof(text),
                  "measure %s changes %u seconds %.3f bytes %llu delay-ms %ld pixels %llu delay95-ms %ld",
                  label.c_str(), after.changes - before.changes, elapsed,
                  after.screenBytes - before.screenBytes, median, pixels, high);
    mFromTap = false;
    mTap->DecodePictures(false);
    mOutput.Say(text);
}

void PeerSharing::Animate(bool on) {
    mHolding = false;
    if (on != mAnimating.load()) {
        mAnimating = on;
        if (on) {
            mAnimator.Start([this] { AnimateLoop(); });
        } else {
            mAnimator.Join();
        }
    }
    if (on) {
        mOutput.Say("animating");
    }
}

void PeerSharing::AnimateLoop() {
    Workload const workload = mWorkload.load();
    SIZE const screen = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SIZE const area = workload == Workload::Scroll   ? screen
                      : workload == Workload::Typing ? SIZE{kStampBits * kStampBlock, 48}
                                                     : SIZE{kAreaWidth, kAreaHeight};
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0,
                                  0, area.cx, area.cy, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (unsigned frame = 0; mAnimating.load(); ++frame) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        if (!mHolding.load()) {
            Paint(window, frame);
            GdiFlush();
        }
        ++mPasses;
        Sleep(workload == Workload::Typing ? 100 : workload == Workload::Scroll ? 30 : 10);
    }
    DestroyWindow(window);
}

void PeerSharing::Paint(HWND window, unsigned frame) {
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    switch (mWorkload.load()) {
        case Workload::Area:
            DrawFrame(dc, frame);
            break;
        case Workload::Scroll: {
            int const line = 8;
            BitBlt(dc, 0, kStampBlock, client.right, client.bottom - 3 * kStampBlock - line, dc, 0,
                   kStampBlock + line, SRCCOPY);
            RECT const fresh = {0, client.bottom - 2 * kStampBlock - line, client.right,
                                client.bottom - kStampBlock};
            PeerDesktop::FillSolid(dc, fresh, RGB(frame * 7 & 0xff, 200 - (frame * 3 & 0x7f), 120));
            PeerDesktop::WriteLine(dc, static_cast<int>(frame * 13 % 400), fresh.top,
                                   L"scrolled line " + std::to_wstring(frame));
            break;
        }
        case Workload::Typing: {
            std::wstring const text = L"Corvane typing test, one character at a time. ";
            int const column = static_cast<int>(frame % 60);
            if (column == 0) {
                PeerDesktop::FillSolid(dc, RECT{0, kStampBlock, client.right, client.bottom},
                                       RGB(250, 250, 250));
            }
            PeerDesktop::WriteLine(dc, 4 + column * 8, kStampBlock + 8,
                                   std::wstring(1, text[frame % text.size()]));
            break;
        }
    }
    DrawStamps(dc, mWorkload.load() == Workload::Typing ? 0 : client.bottom - kStampBlock);
    ReleaseDC(window, dc);
}

void PeerSharing::DrawStamps(HDC dc, int bottomRow) {
    DWORD const stamp = WallMs();
    for (int row : {0, bottomRow}) {
        for (int bit = 0; bit < kStampBits; ++bit) {
            RECT block = {bit * kStampBlock, row, (bit + 1) * kStampBlock, row + kStampBlock};
            FillRect(dc, &block,
                     static_cast<HBRUSH>(GetStockObject((stamp >> bit) & 1 ? WHITE_BRUSH : BLACK_BRUSH)));
        }
    }
}

void PeerSharing::DrawFrame(HDC dc, unsigned frame) {
    for (int x = -64; x < kAreaWidth; x += 32) {
        RECT stripe = {x + static_cast<int>(frame * 4 % 64), kStampBlock,
                       x + static_cast<int>(frame * 4 % 64) + 32, kAreaHeight - kStampBlock};
        PeerDesktop::FillSolid(dc, stripe, RGB((x * 3 + frame) & 0xff, 90, 160));
    }
    for (int line = 0; line < 12; ++line) {
        PeerDesktop::WriteLine(
            dc, 10 + static_cast<int>((frame + line * 5) % 200), 30 + line * 36,
            L"Corvane sharing frame " + std::to_wstring(frame) + L" line " + std::to_wstring(line));
    }
}

void PeerSharing::Baseline(std::string const& contact, unsigned seconds, bool jpeg) {
    ISession& session = mSessions.SessionOf(contact);
    ISkypeApplication* screenApp = mSessions.Manager().GetScreenApplication();
    auto handler = MakeDelegate<&PeerSharing::OnScreenSent>(this);
    screenApp->OnSendingFinished.Add(handler);
    SessionQualityConfiguration const quality({kAreaWidth, kAreaHeight}, 24, jpeg, 50);
    SIZE const screenSize = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    unsigned sent = 0;
    std::vector<unsigned char> packet(4 + 8 + kAreaWidth * kAreaHeight * 3);
    DWORD last = GetTickCount();
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000;) {
        SIZE size;
        std::vector<unsigned char> const screen = GrabScreen(size);
        std::uint32_t const count = 1;
        std::uint16_t const rect[4] = {0, 0, kAreaWidth, kAreaHeight};
        std::memcpy(packet.data(), &count, 4);
        std::memcpy(packet.data() + 4, rect, 8);
        for (int y = 0; y < kAreaHeight; ++y) {
            std::memcpy(packet.data() + 12 + y * kAreaWidth * 3, screen.data() + y * size.cx * 3,
                        kAreaWidth * 3);
        }
        int const q =
            TrackingState::ChooseJpegQuality(quality, static_cast<int>(sent) + 1, session.GetSendCps());
        DWORD const now = GetTickCount();
        mScreenSent.Reset();
        session.SendNetworkMessage(
            ScreenEncoder::Encode(packet.data(), static_cast<unsigned long>(packet.size()), screenSize,
                                  static_cast<int>(now - last), {24, jpeg, q}));
        last = now;
        ++sent;
        mScreenSent.Wait(5000);
    }
    screenApp->OnSendingFinished.Remove(handler);
    mOutput.Say("baseline sent " + std::to_string(sent));
}

void PeerSharing::OnScreenSent(std::string const&, ISkypeApplication*) {
    mScreenSent.Set();
}
