#include "skypesim/RawClient.h"

#include <chrono>

#include "skypesim/SimWindows.h"

namespace skypesim {

namespace {
wchar_t const kWindowClass[] = L"CorvaneSkypeSimRawClient";
}

RawClient::RawClient(std::wstring const& discoverMessage, std::wstring const& attachMessage)
    : mDiscoverMessage(RegisterWindowMessageW(discoverMessage.c_str())),
      mAttachMessage(RegisterWindowMessageW(attachMessage.c_str())) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    mThread.Start([this, ready] { Run(ready); });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}

RawClient::~RawClient() {
    if (mWindow) {
        PostMessageW(mWindow, WM_CLOSE, 0, 0);
    }
    mThread.Join();
}

void RawClient::Run(HANDLE ready) {
    mWindow = CreateHiddenWindow(kWindowClass, &RawClient::WindowProcedure, this);
    SetEvent(ready);
    MSG message;
    while (mWindow && GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK RawClient::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    RawClient* self = WindowOwner<RawClient>(window);
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    } else if (self && message == WM_COPYDATA) {
        std::optional<std::string> text = CopyDataText(lParam, kMaxTextBytes);
        if (text) {
            self->Receive(std::move(*text));
        }
        return text.has_value();
    } else if (self && message == self->mAttachMessage) {
        {
            std::lock_guard<std::mutex> lock(self->mMutex);
            self->mReports.push_back({reinterpret_cast<HWND>(wParam), static_cast<int>(lParam)});
        }
        self->mChanged.notify_all();
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RawClient::Receive(std::string text) {
    std::size_t blank = text.find(' ');
    if (!text.empty() && text[0] == '#' && blank != std::string::npos) {
        std::lock_guard<std::mutex> lock(mMutex);
        auto waiting = mPending.find(text.substr(0, blank + 1));
        if (waiting != mPending.end() && !waiting->second) {
            waiting->second = text.substr(blank + 1);
            mChanged.notify_all();
            return;
        }
    }
    mNotifications.Add(std::move(text));
}

void RawClient::Discover() {
    PostMessageW(HWND_BROADCAST, mDiscoverMessage, reinterpret_cast<WPARAM>(mWindow), 0);
}

std::vector<RawClient::AttachReport> RawClient::AttachReports() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mReports;
}

HWND RawClient::WaitForAttach(int status, unsigned timeoutMs, std::size_t since) {
    std::unique_lock<std::mutex> lock(mMutex);
    HWND found = nullptr;
    mChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (std::size_t i = since; i < mReports.size() && !found; ++i) {
            found = mReports[i].status == status ? mReports[i].messenger : nullptr;
        }
        return found != nullptr;
    });
    return found;
}

bool RawClient::Attach(unsigned timeoutMs) {
    std::size_t since = AttachReports().size();
    Discover();
    HWND messenger = WaitForAttach(0, timeoutMs, since);
    if (messenger) {
        mMessenger = messenger;
    }
    return messenger != nullptr;
}

std::optional<std::string> RawClient::Command(std::string const& command, unsigned timeoutMs) {
    std::string id = "#" + std::to_string(++mNextId) + " ";
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mPending[id];
    }
    bool sent = Send(id + command, timeoutMs);
    std::unique_lock<std::mutex> lock(mMutex);
    if (sent) {
        mChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return mPending[id].has_value(); });
    }
    std::optional<std::string> reply = std::move(mPending[id]);
    mPending.erase(id);
    return reply;
}

bool RawClient::Send(std::string const& text, unsigned timeoutMs) {
    return SendText(mWindow, mMessenger, text, timeoutMs);
}

}  // namespace skypesim
