#include "SessionTestSupport.h"

#include <windows.h>

#include <cstring>
#include <sstream>

namespace session_test {

namespace {
std::string OwnHandle(std::string const& name) {
    return name + "." + std::to_string(GetCurrentProcessId());
}
}  // namespace

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

bool Side::ExpectAny(std::string const& text, unsigned timeoutMs) {
    return Find(std::string(), text, timeoutMs);
}

bool Side::Find(std::string const& prefix, std::string const& text, unsigned timeoutMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(5)) {
        std::vector<std::string> lines = guis.Log().Records();
        for (std::size_t i = cursor; i < lines.size(); ++i) {
            if (lines[i].compare(0, prefix.size(), prefix) == 0 && lines[i].find(text) != std::string::npos) {
                cursor = i + 1;
                return true;
            }
        }
    }
    return false;
}

bool Side::Expect(std::string const& text, unsigned timeoutMs) {
    return Find(contact + ": ", text, timeoutMs);
}

std::string Side::Pending() const {
    std::vector<std::string> lines = guis.Log().Records();
    std::stringstream text;
    text << handle << " since the last match:";
    for (std::size_t i = cursor; i < lines.size(); ++i) {
        text << "\n  " << lines[i];
    }
    return text.str();
}

void Side::SkipAll() {
    cursor = guis.Log().Records().size();
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
    std::string text;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_TEXT)) {
            text = static_cast<char const*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
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

TwoPeers::TwoPeers()
    : aliceHandle(OwnHandle("alice")), bobHandle(OwnHandle("bob")), peers({aliceHandle, bobHandle}) {}

TwoPeers::~TwoPeers() = default;

void TwoPeers::SetUp() {
    alice = std::make_unique<Side>(peers, aliceHandle, bobHandle);
    bob = std::make_unique<Side>(peers, bobHandle, aliceHandle);
    ASSERT_TRUE(peers.Attach(aliceHandle));
    ASSERT_TRUE(peers.Attach(bobHandle));
    for (Side* side : {alice.get(), bob.get()}) {
        ASSERT_TRUE(side->Expect("notification \"" + side->contact +
                                 " Example\" \"Remote user becomes online\" green []"))
            << side->Pending();
        ASSERT_TRUE(side->Expect("state AvailableState")) << side->Pending();
    }
}

void TwoPeers::TearDown() {
    alice.reset();
    bob.reset();
}

}  // namespace session_test
