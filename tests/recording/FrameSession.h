#pragma once

#include <windows.h>

#include <string>

#include "session/ISession.h"

// A session that only names its contact and raises RemoteScreenChanged with the frames a test
// chooses. Deleting it empties it first, as a real session does, so that subscribers learn it
// is going away.
class FrameSession : public ISession {
public:
    explicit FrameSession(std::string const& fullName) : mFullName(fullName) { mUserName = "bob"; }
    ~FrameSession() override { Empty(); }

    // Raises StateChanging with no new state, as a session being deleted does.
    void Empty();

    // Raises RemoteScreenChanged with a memory context holding frame `index`; the calling
    // thread plays "SkypeEvent".
    void RaiseFrame(int index, int width, int height);

    void GetStatusProperties(std::vector<SessionProperty>&) override {}
    bool IsSameAccount() const override { return false; }
    std::string GetFullName() override { return mFullName; }
    int GetSendCps() override { return 0; }
    void Initialize(ISessionState*) override {}
    void Connect() override {}
    void Disconnect() override {}
    void StopDisplaying(bool) override {}
    bool SendNetworkMessage(NetworkMessage const&) override { return false; }
    Configuration* GetConfig() override { return nullptr; }
    ISessionGui* GetGui() override { return nullptr; }
    void ChangeState(ISessionState*) override {}
    ISessionState& GetCurrentState() const override;
    void ReadState(std::function<void(ISessionState*)> const& read) const override { read(nullptr); }
    void PostOperation(std::string const&) override {}
    void PostNotificationClick(int) override {}
    void SetViewerControl(bool) override {}
    bool HasViewerControl() override { return false; }

private:
    std::string mFullName;
};
