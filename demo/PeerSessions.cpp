#include "PeerSessions.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "AviFile.h"
#include "foundation/StringHelper.h"
#include "imaging/ComScope.h"
#include "imaging/Picture.h"
#include "input/ClipboardHelper.h"
#include "network/ControlMessages.h"
#include "recording/BmpToAviCodecs.h"
#include "recording/CBmpToAvi.h"
#include "session/ISessionState.h"

namespace {

// The recorder builds its graph on its own thread, where a failure reaches only the log: the
// same graph is built here first, so that the command fails with the library's reason.
void CheckRecordingGraph(tagBMPTOAVI_PARMS const& parms) {
    ComScope com;
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    std::string const path = std::string(folder) + "corvane-recording-check.avi";
    std::string error;
    {
        CBmpToAvi graph;
        if (!graph.Open(parms, path.c_str(), parms.codec)) {
            error = graph.GetLastErrorText();
        }
    }
    DeleteFileA(path.c_str());
    if (!error.empty()) {
        throw std::runtime_error(error);
    }
}

// A recorder that failed leaves no file, or an empty one.
bool HasContent(std::string const& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

}  // namespace

PeerSessions::PeerSessions(SkypeClient& client, PeerOutput& output)
    : mClient(client),
      mOutput(output),
      mGuis([&output](std::string const& line) { output.Say("session " + line); }),
      mManager(&client, &mGuis, &mConfig) {}

ISession& PeerSessions::SessionOf(std::string const& contact) {
    std::string const me = mClient.GetCurrentUser();
    for (ISession* session : mManager.GetSessions()) {
        std::string const user = session->GetUserNameW();
        if (user == contact || (contact.empty() && user != me)) {
            return *session;
        }
    }
    throw std::runtime_error("no session with " + (contact.empty() ? std::string("a contact") : contact));
}

ScriptedSessionGui& PeerSessions::Gui(std::string const& contact) {
    boost::shared_ptr<ScriptedSessionGui> gui = mGuis.Gui(SessionOf(contact).GetUserNameW());
    if (!gui) {
        throw std::runtime_error("the session has no user interface");
    }
    return *gui;
}

void PeerSessions::Request(std::string const& contact) {
    Gui(contact).Run("Request remote desktop");
}

void PeerSessions::Share(std::string const& contact) {
    Gui(contact).Run("Share my desktop");
}

void PeerSessions::PressButton(std::string const& contact, std::string const& caption) {
    ScriptedSessionGui& gui = Gui(contact);
    std::vector<NotificationButton> const buttons = gui.LastButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i].caption == caption) {
            gui.Press(static_cast<int>(i));
            return;
        }
    }
    throw std::runtime_error("no question with a button \"" + caption + "\"");
}

void PeerSessions::Accept(std::string const& contact) {
    PressButton(contact, "Accept");
}

void PeerSessions::Decline(std::string const& contact) {
    PressButton(contact, "Decline");
}

void PeerSessions::Stop(std::string const& contact) {
    // Only the one the state offers runs; the others find the state gone.
    ScriptedSessionGui& gui = Gui(contact);
    for (char const* operation : {"Stop displaying", "Stop sharing desktop", "Cancel"}) {
        gui.Run(operation);
    }
}

void PeerSessions::AutoAccept(std::string const& contact) {
    ScriptedSessionGui& gui = Gui(contact);
    gui.AnswerNotifications("User wants", "Accept");
    mOutput.Say("auto-accept " + gui.User());
}

void PeerSessions::ViewOnly(std::string const& contact) {
    SetViewerControl(contact, false);
}

void PeerSessions::GiveControl(std::string const& contact) {
    SetViewerControl(contact, true);
}

void PeerSessions::SetViewerControl(std::string const& contact, bool allowed) {
    ISession& session = SessionOf(contact);
    session.SetViewerControl(allowed);
    mOutput.Say("control " + session.GetUserNameW() + ": " + (allowed ? "given" : "view only"));
}

void PeerSessions::PrintStatus(std::string const& contact) {
    ISession& session = SessionOf(contact);
    std::string const user = session.GetUserNameW();
    mOutput.Say("status-line " + user + ": state " + session.GetCurrentState().GetDescription(true));
    std::vector<SessionProperty> lines;
    session.GetStatusProperties(lines);
    for (SessionProperty const& line : lines) {
        mOutput.Say("status-line " + user + ": " + line.group + "/" + line.name + " = " + line.value);
    }
}

void PeerSessions::WriteStatusPage(std::string const& file) {
    std::ofstream page(file, std::ios::binary);
    std::string const html = mManager.GetCurrentStateDescription();
    page << "<HTML><BODY>" << html << "</BODY></HTML>\n";
    if (!page) {
        throw std::runtime_error("cannot write " + file);
    }
    mOutput.Say("status page " + file + ": " + html);
}

void PeerSessions::WatchView(std::string const& contact) {
    ISession& session = SessionOf(contact);
    mView.Watch(session);
    mOutput.Say("watching the view of " + session.GetUserNameW());
}

void PeerSessions::SetQuality(std::string const& text) {
    std::istringstream words(text);
    int depth = 0;
    std::string jpeg;
    int level = 75;
    words >> depth >> jpeg >> level;
    if (depth != 8 && depth != 16 && depth != 24) {
        throw std::invalid_argument("a depth of 8, 16 or 24");
    }
    SessionQualityConfiguration& quality = mConfig.SessionQuality;
    quality.Resolution.Set(tagSIZE{0, 0});
    quality.ColorDepth.Set(depth);
    quality.UseJpeg.Set(jpeg == "jpeg");
    quality.JpegQuality.Set(level);
    mOutput.Say("quality " + std::to_string(depth) + " bit" +
                (jpeg == "jpeg" ? ", JPEG " + std::to_string(level) : std::string(", raw")));
}

void PeerSessions::Mouse(std::string const& arguments) {
    std::istringstream words(arguments);
    int x = -1;
    int y = -1;
    std::string click;
    words >> x >> y >> click;
    if (x < 0 || y < 0 || x > 0x7FFF || y > 0x7FFF) {
        throw std::invalid_argument("needs X Y within the view");
    }
    ISession& session = SessionOf(std::string());
    LPARAM const at = MAKELPARAM(x, y);
    bool sent = session.SendNetworkMessage(WindowEventNetMsg(WM_MOUSEMOVE, 0, at));
    if (!click.empty()) {
        sent = sent && session.SendNetworkMessage(WindowEventNetMsg(WM_LBUTTONDOWN, MK_LBUTTON, at)) &&
               session.SendNetworkMessage(WindowEventNetMsg(WM_LBUTTONUP, 0, at));
    }
    if (!sent) {
        throw std::runtime_error("the mouse did not go out");
    }
    mOutput.Say("mouse " + std::to_string(x) + " " + std::to_string(y) + (click.empty() ? "" : " click"));
}

void PeerSessions::SendClipboard(std::string const& contact) {
    boost::shared_ptr<ClipboardNetMsg> message = ClipboardHelper::CreateClipboardMessage();
    if (!message || !SessionOf(contact).SendNetworkMessage(*message)) {
        throw std::runtime_error("the clipboard did not go out");
    }
    mOutput.Say("clipboard sent, " + std::to_string(message->GetClipboardDataSize()) + " bytes");
}

void PeerSessions::RequestClipboard(std::string const& contact) {
    if (!SessionOf(contact).SendNetworkMessage(ClipboardRequestNetMsg())) {
        throw std::runtime_error("the request did not go out");
    }
    mOutput.Say("clipboard requested");
}

std::string PeerSessions::ReceivedBytes(std::string const& contact) {
    std::vector<SessionProperty> lines;
    SessionOf(contact).GetStatusProperties(lines);
    for (SessionProperty const& line : lines) {
        if (line.group == "Bandwidth" && line.name == "Received") {
            return line.value;
        }
    }
    return "0 bytes";
}

void PeerSessions::Record(std::string const& folder) {
    if (mRecorder) {
        throw std::runtime_error("already recording " + mRecorder->GetFilePath());
    }
    tagBMPTOAVI_PARMS parms;
    SIZE const size = mConfig.Recording.Resolution.Get();
    parms.width = size.cx > 0 ? size.cx : GetSystemMetrics(SM_CXSCREEN);
    parms.height = size.cy > 0 ? size.cy : GetSystemMetrics(SM_CYSCREEN);
    parms.bitsPerPixel = 24;
    parms.codec = kBmpToAviLosslessCodec;
    std::string const where = folder.empty() ? mConfig.Recording.OutputPath.Get() : folder;
    CheckRecordingGraph(parms);
    mRecorder = mRecordings.NewRecording(&SessionOf(""), parms, where);
    mOutput.Say("recording " + mRecorder->GetFilePath());
}

void PeerSessions::StopRecording(std::string const& png) {
    if (!mRecorder) {
        throw std::runtime_error("not recording");
    }
    boost::shared_ptr<AviRecorder> recorder;
    recorder.swap(mRecorder);
    recorder->Close();
    std::string const path = recorder->GetFilePath();
    if (!HasContent(path)) {
        throw std::runtime_error("the recorder wrote no file " + path + " (its reason is in the log)");
    }
    AviFile const avi = AviFile::Read(path);
    std::ostringstream line;
    line << "recording " << path << ": " << avi.length << " frames, " << avi.width << "x" << avi.height
         << ", " << avi.FramesPerSecond() << " fps";
    mOutput.Say(line.str());
    std::vector<std::vector<std::uint32_t>> frames = avi.DecodeFrames();
    if (frames.empty()) {
        throw std::runtime_error("the recording has no frames");
    }
    std::vector<std::uint32_t>& middle = frames[frames.size() / 2];
    for (std::uint32_t& pixel : middle) {
        pixel |= 0xFF000000u;  // opaque
    }
    std::string const file =
        png.empty() ? path.substr(0, path.find_last_of("\\/") + 1) + "recording-frame.png" : png;
    Picture::FromPixels(middle.data(), static_cast<int>(avi.width), static_cast<int>(avi.height), 32,
                        avi.width * 4)
        .Save(StringHelper::StrToWstr(file), Picture::Format::Png);
    mOutput.Say("recording frame " + file);
}
