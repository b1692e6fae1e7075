#include "PeerSessions.h"

#include <fstream>
#include <stdexcept>
#include <vector>

#include "session/ISessionState.h"

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
