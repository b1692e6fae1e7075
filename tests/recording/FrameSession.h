#pragma once

#include <windows.h>

#include <string>

#include "NullSession.h"
#include "RecordingFrames.h"

// A session that only names its contact and raises RemoteScreenChanged with the frames a test
// chooses. Deleting it empties it first, as a real session does.
class FrameSession : public NullSession {
public:
    explicit FrameSession(std::string const& fullName) : mFullName(fullName) { mUserName = "bob"; }
    ~FrameSession() override { Empty(); }

    // Raises StateChanging with no new state, as a session being deleted does.
    void Empty() {
        StateChangeArgs emptied = {this, nullptr, nullptr};
        StateChanging(emptied);
    }

    // Raises RemoteScreenChanged with frame `index`; the calling thread plays "SkypeEvent".
    void RaiseFrame(int index, int width, int height) {
        HBITMAP frame = RecordingFrames::Make(width, height, index);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, frame);
        RemoteScreenChangeArgs args = {dc, width, height, nullptr, 0, nullptr};
        RemoteScreenChanged(args);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(frame);
    }

    std::string GetFullName() override { return mFullName; }

private:
    std::string mFullName;
};
