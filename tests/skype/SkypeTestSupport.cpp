#include "SkypeTestSupport.h"

#include <algorithm>
#include <sstream>

namespace skype_test {

namespace {
template <class E, class H>
void Toggle(E& event, H const& handler, bool on) {
    if (on) {
        event.Add(handler);
    } else {
        event.Remove(handler);
    }
}
}  // namespace

EventRecorder::EventRecorder(ISkypeClient& client) : mClient(client) {
    Subscribe(true);
}

EventRecorder::~EventRecorder() {
    Subscribe(false);
}

void EventRecorder::Subscribe(bool on) {
    Toggle(mClient.OnAttach, MakeDelegate<&EventRecorder::OnAttach>(this), on);
    Toggle(mClient.OnCurrentUser, MakeDelegate<&EventRecorder::OnCurrentUser>(this), on);
    Toggle(mClient.OnLogout, MakeDelegate<&EventRecorder::OnLogout>(this), on);
    Toggle(mClient.OnUserStatus, MakeDelegate<&EventRecorder::OnUserStatus>(this), on);
    Toggle(mClient.OnAppStreams, MakeDelegate<&EventRecorder::OnStreams>(this), on);
    Toggle(mClient.OnAppReceived, MakeDelegate<&EventRecorder::OnReceived>(this), on);
    Toggle(mClient.OnAppSending, MakeDelegate<&EventRecorder::OnSending>(this), on);
    Toggle(mClient.OnAppDatagram, MakeDelegate<&EventRecorder::OnDatagram>(this), on);
}

std::vector<std::string> EventRecorder::Records() const {
    return mLog.Records();
}

bool EventRecorder::WaitFor(std::string const& record, unsigned timeoutMs, int count) const {
    return mLog.WaitFor(record, timeoutMs, count);
}

std::vector<std::string> EventRecorder::TakeThrough(std::string const& record, unsigned timeoutMs) {
    return mLog.TakeThrough(record, timeoutMs);
}

void EventRecorder::Clear() {
    mLog.Clear();
}

void EventRecorder::Add(std::string const& record) {
    mLog.Add(record);
}

void EventRecorder::OnAttach(ISkypeClient& client) {
    Add("attach " + std::to_string(client.GetAttachStatus()));
}

void EventRecorder::OnCurrentUser(std::string user) {
    Add("current " + user);
}

void EventRecorder::OnLogout() {
    Add("logout");
}

void EventRecorder::OnUserStatus(std::string const& user, ISkypeClient::UserStatus status) {
    Add("status " + user + " " + std::to_string(status));
}

namespace {
std::string Describe(char const* kind, std::string const& name, ISkypeEvents::StreamList const& streams) {
    std::string text = kind + (" " + name);
    for (auto const& stream : streams) {
        text += " " + stream.first + ":" + stream.second;
    }
    return text;
}
}  // namespace

void EventRecorder::OnStreams(std::string const& name, ISkypeEvents::StreamList const& streams) {
    Add(Describe("streams", name, streams));
}

void EventRecorder::OnReceived(std::string const& name, ISkypeEvents::StreamList const& streams) {
    Add(Describe("received", name, streams));
}

void EventRecorder::OnSending(std::string const& name,
                              std::vector<ISkypeEvents::AppSendingData> const& items) {
    std::string text = "sending " + name;
    for (auto const& item : items) {
        text += " " + item.user + ":" + item.streamId + "=" + std::to_string(item.bytes);
    }
    Add(text);
}

void EventRecorder::OnDatagram(std::string const& name, ISkypeEvents::AppDatagramData const& datagram) {
    Add("datagram " + name + " " + datagram.user + ":" + datagram.streamId + " " + datagram.data);
}

LRESULT SendCopyData(HWND client, HWND sender, void const* data, DWORD size) {
    COPYDATASTRUCT record = {0, size, const_cast<void*>(data)};
    return SendMessageW(client, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                        reinterpret_cast<LPARAM>(&record));
}

LRESULT SendText(HWND client, HWND sender, std::string const& text) {
    return SendCopyData(client, sender, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

AccountConfig UniqueAccount(std::string const& handle) {
    static std::atomic<int> counter{0};
    AccountConfig config;
    config.handle = handle;
    config.fullName = handle + " Example";
    std::wstring base =
        L"SkypeClientTest." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(counter++);
    config.discoverMessage = base + L".Discover";
    config.attachMessage = base + L".Attach";
    return config;
}

std::string OwnHandle(std::string const& name) {
    return name + "." + std::to_string(GetCurrentProcessId());
}

ClientTest::ClientTest()
    : me(OwnHandle("alice")), account(UniqueAccount(me)), sim(std::make_unique<SkypeSimulator>()) {
    sim->AddAccount(account);
}

ClientTest::~ClientTest() {
    recorder.reset();
    client.reset();
    sim.reset();
}

std::unique_ptr<SkypeClient> ClientTest::MakeClient(AccountConfig const& config) {
    return std::make_unique<SkypeClient>(nullptr, RegisterWindowMessageW(config.discoverMessage.c_str()),
                                         RegisterWindowMessageW(config.attachMessage.c_str()));
}

void ClientTest::Attach() {
    client = MakeClient(account);
    recorder = std::make_unique<EventRecorder>(*client);
    client->Attach();
    ASSERT_TRUE(recorder->WaitFor("current " + me));
    recorder->Clear();
}

std::vector<std::string> ClientTest::EventsOf(std::string const& text) {
    static int marker = 0;
    std::string done = "status marker" + std::to_string(++marker) + " 1";
    sim->InjectNotification(me, text);
    sim->InjectNotification(me, "USER marker" + std::to_string(marker) + " ONLINESTATUS ONLINE");
    std::vector<std::string> events = recorder->TakeThrough(done);
    EXPECT_FALSE(events.empty()) << "the marker did not come after " << text;
    if (!events.empty()) {
        events.pop_back();
    }
    return events;
}

void ClientTest::AddContact(std::string const& handle, std::string const& avatar, bool running) {
    AccountConfig config = UniqueAccount(handle);
    config.avatar = avatar;
    config.running = running;
    sim->AddAccount(config);
    sim->AddFriends(me, handle);
}

}  // namespace skype_test
