#include "SkypeTestSupport.h"

namespace skype_test {

namespace {

std::string Describe(char const* kind, std::string const& name, ISkypeEvents::StreamList const& streams) {
    std::string text = kind + (" " + name);
    for (auto const& stream : streams) {
        text += " " + stream.first + ":" + stream.second;
    }
    return text;
}

}  // namespace

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

LRESULT SendCopyData(HWND client, HWND sender, void const* data, DWORD size) {
    COPYDATASTRUCT record = {0, size, const_cast<void*>(data)};
    return SendMessageW(client, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                        reinterpret_cast<LPARAM>(&record));
}

ClientTest::ClientTest()
    : me("alice." + std::to_string(GetCurrentProcessId())),
      account(skypesim_test::UniqueAccount(me, me + " Example")),
      sim(std::make_unique<SkypeSimulator>()) {
    sim->AddAccount(account);
}

ClientTest::~ClientTest() {
    recorder.reset();
    client.reset();
    sim.reset();
}

void ClientTest::NewClient(ThreadWindow* window) {
    recorder.reset();
    client.reset();
    client = std::make_unique<SkypeClient>(window, RegisterWindowMessageW(account.discoverMessage.c_str()),
                                           RegisterWindowMessageW(account.attachMessage.c_str()));
    recorder = std::make_unique<EventRecorder>(*client);
}

void ClientTest::Attach() {
    NewClient();
    client->Attach();
    ASSERT_TRUE(recorder->WaitFor("current " + me));
    recorder->Clear();
}

std::vector<std::string> ClientTest::EventsOf(std::string const& text) {
    static int marker = 0;
    std::string done = "status marker" + std::to_string(++marker) + " 1";
    sim->InjectNotification(me, text);
    sim->InjectNotification(me, "USER marker" + std::to_string(marker) + " ONLINESTATUS ONLINE");
    std::vector<std::string> events = recorder->TakeThrough(done, kWait);
    EXPECT_FALSE(events.empty()) << "the marker did not come after " << text;
    if (!events.empty()) {
        events.pop_back();
    }
    return events;
}

void ClientTest::AddContact(std::string const& handle, std::string const& avatar, bool running) {
    AccountConfig config = skypesim_test::UniqueAccount(handle, handle + " Example");
    config.avatar = avatar;
    config.running = running;
    sim->AddAccount(config);
    sim->AddFriends(me, handle);
}

}  // namespace skype_test
