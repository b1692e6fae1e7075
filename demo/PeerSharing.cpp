#include "PeerSharing.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "input/ClipboardHelper.h"
#include "network/ControlMessages.h"
#include "session/ISession.h"
#include "session/SessionManager.h"
#include "skype/SkypeApplication.h"

PeerSharing::PeerSharing(PeerSessions& sessions, PeerOutput& output) : mSessions(sessions), mOutput(output) {}

PeerSharing::~PeerSharing() = default;

void PeerSharing::Tap(std::string const& contact) {
    SessionManager& manager = mSessions.Manager();
    if (!manager.GetControlApplication() || !manager.GetScreenApplication()) {
        throw std::runtime_error("attach first");
    }
    std::string const user = mSessions.SessionOf(contact).GetUserNameW();
    mTap.reset();
    mTap =
        std::make_unique<SharingTap>(manager.GetControlApplication(), manager.GetScreenApplication(), user);
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

std::string PeerSharing::Checksum(std::vector<unsigned char> const& bytes) {
    unsigned long long hash = 1469598103934665603ull;
    for (unsigned char byte : bytes) {
        hash = (hash ^ byte) * 1099511628211ull;
    }
    char text[20];
    std::snprintf(text, sizeof(text), "%016llx", hash);
    return text;
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
                Checksum(pixels));
}

void PeerSharing::WaitScreen(std::string const& sum, unsigned seconds) {
    std::string last;
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(50)) {
        SIZE size;
        last = Checksum(NeedTap().GetScreen(size));
        if (last == sum) {
            break;
        }
    }
    mOutput.Say("tap-screen " + last);
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
