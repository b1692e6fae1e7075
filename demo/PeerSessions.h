#pragma once

#include <string>

#include "PeerOutput.h"
#include "PeerView.h"
#include "ScriptedSessionGuiManager.h"
#include "config/Configuration.h"
#include "recording/AviManager.h"
#include "session/SessionManager.h"
#include "skype/SkypeClient.h"

// The sessions of the peer host: a session manager over the host's client, with the scripted
// user interface playing the user. Prints "session <contact>: <line>" for every call the
// library makes on a session's user interface (state changes, notifications, the remote
// view). Build it before the client attaches; commands come from the command reader's thread
// and are carried out on "SkypeEvent" at its next idle tick.
class PeerSessions {
public:
    // Not owned; both must outlive the sessions.
    PeerSessions(SkypeClient& client, PeerOutput& output);

    // An empty contact means the one contact that has a session besides the own account.
    void Request(std::string const& contact);
    void Share(std::string const& contact);
    void Accept(std::string const& contact);
    void Decline(std::string const& contact);
    // Stops viewing or sharing, or cancels a question asked.
    void Stop(std::string const& contact);
    // Our user's say over control while we share with the contact: from the next sharing on
    // (or at once while sharing), the viewer may or may not control this machine.
    void ViewOnly(std::string const& contact);
    void GiveControl(std::string const& contact);
    // From now on the user accepts every request and offer of the contact.
    void AutoAccept(std::string const& contact);
    // Prints the state and the status lines: "status-line <contact>: group/name = value".
    void PrintStatus(std::string const& contact);
    // Writes the HTML status page to `file`.
    void WriteStatusPage(std::string const& file);
    // The session with the contact, as for the commands; runtime_error when there is none.
    ISession& SessionOf(std::string const& contact);
    SessionManager& Manager() { return mManager; }
    // The sessions' settings; the quality is read when the user asks or offers.
    Configuration& Config() { return mConfig; }
    // Records the viewed desktop of the one contact into `folder` (empty: the configured
    // output folder), losslessly with BmpToAvi.dll's own compressor (a fresh Wine prefix has
    // none of its own that takes the frames). Prints "recording <file>"; fails with the
    // library's reason when the recording graph cannot be built (no recorder is made then).
    void Record(std::string const& folder);
    // Stops and closes the recording, reads the file back and prints "recording <file>:
    // <frames> frames, <width>x<height>, <rate> fps"; saves the middle frame as PNG to `png`
    // (empty: beside the recording, "recording-frame.png"). Fails when the recorder wrote no file.
    void StopRecording(std::string const& png);

    // The viewer's side, as the user interface would do it.
    // Counts and keeps the frames the contact's session draws from now on.
    void WatchView(std::string const& contact);
    PeerView& View() { return mView; }
    // The quality of later requests and offers: "DEPTH [jpeg QUALITY]", the own screen's size.
    void SetQuality(std::string const& text);
    // Moves the viewer's mouse to "X Y" of the view, with a click when a third word follows.
    void Mouse(std::string const& arguments);
    // Sends this machine's clipboard to the one contact.
    void SendClipboard(std::string const& contact);
    // Asks the contact's sharing side for its clipboard.
    void RequestClipboard(std::string const& contact);
    // "Bandwidth/Received" of the contact's session.
    std::string ReceivedBytes(std::string const& contact);

private:
    void SetViewerControl(std::string const& contact, bool allowed);
    ScriptedSessionGui& Gui(std::string const& contact);
    void PressButton(std::string const& contact, std::string const& caption);

    SkypeClient& mClient;
    PeerOutput& mOutput;
    Configuration mConfig;
    ScriptedSessionGuiManager mGuis;
    SessionManager mManager;
    AviManager mRecordings;
    boost::shared_ptr<AviRecorder> mRecorder;  // the running one
    PeerView mView;                            // watches a session of mManager: goes first
};
