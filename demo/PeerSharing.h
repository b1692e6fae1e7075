#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "PeerOutput.h"
#include "PeerSessions.h"
#include "SharingTap.h"

// What the peer host needs to show sharing from outside: a tap beside the viewer's session
// that rebuilds the sharer's screen from raw changes, the screen's checksum, the viewer's
// mouse sent as input, the cursor, and clipboards pushed and pulled through the session.
// Commands come from the command reader's thread.
class PeerSharing {
public:
    // Not owned; both must outlive this.
    PeerSharing(PeerSessions& sessions, PeerOutput& output);
    ~PeerSharing();

    // Starts listening to what the contact sends ("tap <contact>"); before the sharing starts,
    // so that the full frame is seen.
    void Tap(std::string const& contact);
    // "tap-counts changes N bytes B mouse X Y moves M clipboards C acks A pictures P".
    void PrintCounts();
    // Waits up to `seconds` until the rebuilt screen's checksum is `sum`: "tap-screen SUM".
    void WaitScreen(std::string const& sum, unsigned seconds);
    // "screen-sum WxH SUM" of this machine's screen, packed blue-green-red rows.
    void PrintScreenSum();
    // Sends a mouse move to the contact as the viewer's input.
    void SendMouse(std::string const& contact, int x, int y);
    // Waits up to `seconds` until the cursor is at (x, y): "cursor X Y" where it is.
    void WaitCursor(int x, int y, unsigned seconds);
    // Sends this clipboard to the contact and waits for the acknowledgement.
    void PushClipboard(std::string const& contact);
    // Asks the contact for theirs, waits, and sets it here.
    void PullClipboard(std::string const& contact);

    // Hex FNV-1a of the bytes.
    static std::string Checksum(std::vector<unsigned char> const& bytes);
    static std::vector<unsigned char> GrabScreen(SIZE& size);

private:
    SharingTap& NeedTap();

    PeerSessions& mSessions;
    PeerOutput& mOutput;
    std::unique_ptr<SharingTap> mTap;
};
