// The smallest user-interface module: attaches, lists the session manager's sessions with their
// states, then the codecs. corvane_host DISCOVER ATTACH COUNT (the sessions to await).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "corvane/Core.h"

namespace {

class HostGui : public ISessionGui {
public:
    void ShowNotification(std::string const& title, std::string const& text, std::wstring const&,
                          std::vector<NotificationButton> const&) override {}
    void CloseNotification() override {}
    int EditQuality(SessionQualityConfiguration&) override { return 0; }
    void OnStateLeaving() override {}
    void ShowRemoteDesktop(SessionQualityConfiguration&) override {}
    void OnClipboardReceived() override {}
    void OnClipboardDelivered() override {}
    void HideRemoteDesktop() override {}
    bool IsRemoteDesktopReady() override { return false; }
    void ShowStatus(bool) override {}
};

class HostGuiManager : public ISessionGuiManager {
public:
    boost::shared_ptr<ISessionGui> CreateSessionGui(ISession*) override {
        return boost::shared_ptr<ISessionGui>(new HostGui);
    }
};

// Set on "SkypeEvent" whenever the sessions change.
class ChangeSignal {
public:
    ChangeSignal() : mEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~ChangeSignal() { CloseHandle(mEvent); }
    void OnChanged(callimpl::EventVoidType) { SetEvent(mEvent); }
    bool Wait(DWORD ms) { return WaitForSingleObject(mEvent, ms) == WAIT_OBJECT_0; }

private:
    HANDLE mEvent;
};

int Run(char const* discover, char const* attach, std::size_t expected) {
    std::unique_ptr<ISkypeClient> client =
        CreateSkypeClient(RegisterWindowMessageA(discover), RegisterWindowMessageA(attach));
    HostGuiManager guis;
    Configuration config;
    SessionManager manager(client.get(), &guis, &config);
    ChangeSignal changed;
    manager.SessionsChanged.Add(MakeDelegate<&ChangeSignal::OnChanged>(&changed));
    client->Attach();
    DWORD const deadline = GetTickCount() + 30000;
    while (manager.GetSessions().size() < expected && GetTickCount() < deadline) {
        changed.Wait(500);
    }
    std::printf("attached as %s\n", client->GetCurrentUser().c_str());
    for (ISession* session : manager.GetSessions()) {
        std::string state;
        session->ReadState([&state](ISessionState* current) {
            state = current ? current->GetDescription(false) : std::string("-");
        });
        std::printf("session %s: %s\n", session->GetUserNameW().c_str(), state.c_str());
    }
    std::printf("codecs: %u\n", static_cast<unsigned>(ListVideoCodecs().size()));
    manager.SessionsChanged.Remove(MakeDelegate<&ChangeSignal::OnChanged>(&changed));
    return manager.GetSessions().size() >= expected ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    try {
        return Run(argv[1], argv[2], static_cast<std::size_t>(std::atoi(argv[3])));
    } catch (BaseError const& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
}
