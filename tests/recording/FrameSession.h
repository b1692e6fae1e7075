#pragma once

#include <windows.h>

#include <string>

#include "NullSession.h"

// A session that only names its contact and raises RemoteScreenChanged with the frames a test
// chooses. Deleting it empties it first, as a real session does, so that subscribers learn it
// is going away.
class FrameSession : public NullSession {
public:
    explicit FrameSession(std::string const& fullName) : mFullName(fullName) { mUserName = "bob"; }
    ~FrameSession() override { Empty(); }

    // Raises StateChanging with no new state, as a session being deleted does.
    void Empty();

    // Raises RemoteScreenChanged with a memory context holding frame `index`; the calling
    // thread plays "SkypeEvent".
    void RaiseFrame(int index, int width, int height);

    std::string GetFullName() override { return mFullName; }

private:
    std::string mFullName;
};
