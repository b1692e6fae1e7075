#include "SessionTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "WorkerThread.h"
#include "session/ISessionState.h"

namespace session_test {

std::string Handle(std::string const& name) {
    return name + "." + std::to_string(GetCurrentProcessId());
}

Side::Side(SimulatedPeers& peers, std::string const& handle_, std::string const& contact_)
    : handle(handle_),
      contact(contact_),
      client(peers.NewClient(handle_)),
      guis([this](std::string const& line) {
          if (hook) {
              hook(line);
          }
      }) {
    config.SessionQuality.Resolution.Set({1024, 768});
    config.Logging.Enabled.Set(true);  // offers the test operations
    manager = std::make_unique<OpenSessionManager>(&client, &guis, &config);
}

bool Side::ExpectFrom(std::string const& user, std::string const& text, unsigned timeoutMs) {
    return WaitUntil(
        [&] {
            std::vector<std::string> const lines = guis.Log().Records();
            for (std::size_t i = cursor; i < lines.size(); ++i) {
                if (lines[i].compare(0, user.size() + 2, user + ": ") == 0 &&
                    lines[i].find(text) != std::string::npos) {
                    cursor = i + 1;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
}

std::string Side::Pending() const {
    std::vector<std::string> const lines = guis.Log().Records();
    std::string text = handle + " since the last match:";
    for (std::size_t i = cursor; i < lines.size(); ++i) {
        text += "\n  " + lines[i];
    }
    return text;
}

Session* Side::ContactSession() {
    for (ISession* session : manager->GetSessions()) {
        if (session->GetUserNameW() == contact) {
            return dynamic_cast<Session*>(session);
        }
    }
    return nullptr;
}

bool WaitUntil(std::function<bool()> const& done, unsigned timeoutMs) {
    for (DWORD start = GetTickCount(); !done(); Sleep(5)) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
    }
    return true;
}

std::string ClipboardText() {
    EXPECT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_TEXT);
    std::string const text = data ? static_cast<char const*>(GlobalLock(data)) : "";
    GlobalUnlock(data);
    CloseClipboard();
    return text;
}

void SetClipboardText(std::string const& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
}

std::vector<unsigned char> TextPayload(std::string const& text) {
    std::vector<unsigned char> payload(12 + text.size() + 1, 0);
    std::uint32_t const header[3] = {1, CF_TEXT, static_cast<std::uint32_t>(text.size() + 1)};
    std::memcpy(payload.data(), header, sizeof header);
    std::memcpy(payload.data() + 12, text.c_str(), text.size());
    return payload;
}

bool CursorAt(int x, int y) {
    POINT cursor;
    return GetCursorPos(&cursor) && cursor.x == x && cursor.y == y;
}

AliceAndContacts::AliceAndContacts(std::vector<std::string> const& contactNames)
    : names(contactNames), aliceHandle(Handle("alice")), bobHandle(Handle(names[0])), peers([&] {
          std::vector<std::string> handles = {aliceHandle};
          for (std::string const& name : contactNames) {
              handles.push_back(Handle(name));
          }
          return handles;
      }()) {}

void AliceAndContacts::SetUp() {
    alice = std::make_unique<Side>(peers, aliceHandle, bobHandle);
    ASSERT_TRUE(peers.Attach(aliceHandle));
    for (std::string const& name : names) {
        contacts.push_back(std::make_unique<Side>(peers, Handle(name), aliceHandle));
        ASSERT_TRUE(peers.Attach(Handle(name)));
    }
    bob = contacts[0].get();
    for (auto const& side : contacts) {
        ASSERT_TRUE(side->Expect("notification \"" + aliceHandle +
                                 " Example\" \"Remote user becomes online\" green []"))
            << side->Pending();
        ASSERT_TRUE(side->Expect("state AvailableState")) << side->Pending();
        // Alice's sessions come up in any order.
        std::size_t const from = alice->cursor;
        ASSERT_TRUE(alice->ExpectFrom(side->handle, "\"Remote user becomes online\" green []"))
            << alice->Pending();
        ASSERT_TRUE(alice->ExpectFrom(side->handle, "state AvailableState")) << alice->Pending();
        alice->cursor = from;
    }
    alice->cursor = alice->guis.Log().Records().size();
}

void AliceAndContacts::TearDown() {
    tap.reset();
    alice.reset();
    contacts.clear();
}

void AliceAndContacts::Steps(std::vector<std::string> const& steps) {
    for (std::string const& step : steps) {
        SCOPED_TRACE(step);
        Side& side = step[0] == 'A' ? *alice : *bob;
        std::size_t const blank = step.find(' ');
        std::string const verb = step.substr(1, blank == std::string::npos ? 1 : blank - 1);
        std::string const text = blank == std::string::npos ? "" : step.substr(blank + 1);
        std::size_t const x = text.find('x');
        ScriptedSessionGui::QualityAnswer answer;
        if (verb == "?") {
            ASSERT_TRUE(side.Expect(text)) << side.Pending();
        } else if (verb == ">") {
            side.Gui()->Run(text);
        } else if (verb == "!" || verb == "!!") {
            std::vector<NotificationButton> const buttons = side.Gui()->LastButtons();
            auto const button = std::find_if(buttons.begin(), buttons.end(),
                                             [&](NotificationButton const& b) { return b.caption == text; });
            ASSERT_NE(button, buttons.end()) << "no button";
            side.Gui()->Press(static_cast<int>(button - buttons.begin()), verb == "!!");
        } else if (verb == "=") {
            answer.answer = std::stoi(text);
            if (x != std::string::npos) {  // "<answer> WxHxD"
                answer.resolution = {std::stoi(text.substr(2)), std::stoi(text.substr(x + 1))};
                answer.colorDepth = static_cast<unsigned>(std::stoul(text.substr(text.rfind('x') + 1)));
            }
            side.Gui()->ScriptEditQuality(answer);
        } else if (verb == "#") {
            side.config.SessionQuality.Resolution.Set({std::stoi(text), std::stoi(text.substr(x + 1))});
        } else if (verb == "~") {
            Session* session = side.ContactSession();
            WorkerThread([session] { session->StopDisplaying(true); }).Join();
        } else {
            FAIL() << "unknown step";
        }
    }
}

void AliceAndContacts::Views(char viewer) {
    std::string const v(1, viewer), s(1, viewer == 'A' ? 'B' : 'A');
    Steps({v + "> Request remote desktop", s + "? \"User wants to see your desktop\"", s + "> Accept",
           s + "? state TrackingState", v + "? state DisplayingState"});
}

void AliceAndContacts::AliceStopsSharing() {
    Steps({"A> Stop sharing desktop", "A? state AvailableState", "B? \"Remote user aborted session.\" red",
           "B? state AvailableState"});
}

SharingTap& AliceAndContacts::Tap() {
    if (!tap) {
        tap = std::make_unique<SharingTap>(bob->manager->GetControlApplication(),
                                           bob->manager->GetScreenApplication(), aliceHandle);
    }
    return *tap;
}

std::string AliceAndContacts::AliceStatus(std::string const& name) {
    std::string value;
    alice->ContactSession()->ReadState([&](ISessionState* state) {
        std::vector<SessionProperty> lines;
        state->GetStatusProperties(lines);
        for (SessionProperty const& line : lines) {
            value = line.name == name ? line.value : value;
        }
    });
    return value;
}

}  // namespace session_test
