#include "session/Session.h"

#include <algorithm>

#include "config/Configuration.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/TypeName.h"
#include "network/NetworkProtocol.h"
#include "network/SkypeReliableNetworkTransport.h"
#include "session/SessionState.h"
#include "session/ISessionGui.h"
#include "session/InitialState.h"
#include "skype/ISkypeApplication.h"
#include "skype/ISkypeClient.h"

namespace {
// Requests a user interface may queue between two idle ticks; more are dropped.
constexpr std::size_t kMaxPosted = 16;

std::string StateName(ISessionState const* state) {
    return state ? TypeName(typeid(*state)) : "none";
}
}  // namespace

Session::Session(ISkypeApplication* control, ISkypeApplication* screen, std::string const& user,
                 ISkypeClient* client, bool initialize, Configuration* config)
    : mConfig(config), mClient(client), mControlApp(control), mScreenApp(screen) {
    if (!control || !screen) {
        Raise(SkypeError("SkypeApplication not initialized for Session"));
    }
    mUserName = user;
    if (!mConfig) {
        CORVANE_LOG("Using default config for session!");
        mOwnConfig = new Configuration;
        mConfig = mOwnConfig;
    }
    if (initialize) {
        Initialize(nullptr);
    }
}

// The channels go before the state: deleting a transport waits for a message that is being
// routed to the state on "SkypeEvent".
Session::~Session() {
    Detach();
    ChangeState(nullptr);
    delete mOwnConfig;
    mGui.reset();
}

void Session::Detach() {
    Subscribe(false);
    Channel control;
    Channel screen;
    {
        CriticalSectionLock lock(mChannelLock);
        screen = TakeChannel(mScreen);
        control = TakeChannel(mControl);
        mControlApp = nullptr;
        mScreenApp = nullptr;
    }
    DeleteChannel(screen);
    DeleteChannel(control);
}

void Session::Subscribe(bool on) {
    if (on == mSubscribed || !mControlApp || !mScreenApp) {
        return;
    }
    mSubscribed = on;
    auto connected = MakeDelegate<&Session::HandleSuccessConnect>(this);
    auto failed = MakeDelegate<&Session::HandleConnectFailure>(this);
    auto finished = MakeDelegate<&Session::HandleSendingFinished>(this);
    auto idle = MakeDelegate<&Session::HandleSkypeEventsIdle>(this);
    if (on) {
        mControlApp->OnConnectSuccess.Add(connected);
        mControlApp->OnConnectFailure.Add(failed);
        mScreenApp->OnConnectSuccess.Add(connected);
        mScreenApp->OnSendingFinished.Add(finished);
        if (mClient) {
            mClient->OnIdle.Add(idle);
        }
        return;
    }
    if (mClient) {
        mClient->OnIdle.Remove(idle);
    }
    mControlApp->OnConnectSuccess.Remove(connected);
    mControlApp->OnConnectFailure.Remove(failed);
    mScreenApp->OnConnectSuccess.Remove(connected);
    mScreenApp->OnSendingFinished.Remove(finished);
}

void Session::Initialize(ISessionState* first) {
    Subscribe(true);
    ChangeState(first ? first : new InitialState);
}

void Session::Connect() {
    if (mControlApp) {
        mControlApp->Connect(mUserName);
    }
    if (mScreenApp) {
        mScreenApp->Connect(mUserName);
    }
}

void Session::Disconnect() {
    for (ISkypeApplication* application : {mControlApp, mScreenApp}) {
        if (application && application->IsConnected(mUserName)) {
            application->Disconnect(mUserName);
        }
    }
}

NetworkProtocol* Session::ProtocolOf(Channel const& channel) {
    return channel.protocol;
}

bool Session::SendNetworkMessage(NetworkMessage const& message) {
    CriticalSectionLock lock(mChannelLock);
    NetworkProtocol* protocol = ProtocolOf(message.GetStreamIndex() == 0 ? mControl : mScreen);
    if (!protocol) {
        CORVANE_LOG("Protocol not connected yet for " << mUserName);
        return false;
    }
    try {
        protocol->Send(message);
    } catch (NetworkError const&) {
        return false;
    }
    return true;
}

Session::Channel Session::TakeChannel(Channel& channel) {
    Channel taken = channel;
    channel = Channel();
    return taken;
}

void Session::DeleteChannel(Channel const& channel) {
    delete channel.protocol;
    delete channel.transport;
}

void Session::RebuildChannel(Channel& channel, ISkypeApplication* application, std::string const& dumpName) {
    Channel old;
    {
        CriticalSectionLock lock(mChannelLock);
        old = TakeChannel(channel);
        channel.transport = new SkypeReliableNetworkTransport(application, mUserName);
        channel.protocol = new NetworkProtocol(channel.transport);
        if (mConfig->Plugin.EnableDump.Get()) {
            channel.protocol->EnableDump(dumpName);
        }
        if (mState) {
            channel.protocol->RegisterVisitor(mState);
        }
    }
    DeleteChannel(old);
}

void Session::HandleSuccessConnect(std::string const& user, ISkypeApplication* application) {
    // A pending stop stays: a channel coming up (ours again or another contact's) is no reason to
    // forget what our user asked for.
    if (user != mUserName || !mControlApp || !mScreenApp) {
        return;
    }
    if (application == mScreenApp) {
        RebuildChannel(mScreen, application, mUserName + "_screen");
    } else {
        RebuildChannel(mControl, application, mUserName);
    }
    bool const control = mControlApp->IsConnected(mUserName);
    bool const screen = mScreenApp->IsConnected(mUserName);
    CORVANE_LOG("Session connect success, app: " << control << " screenapp: " << screen);
    if (control && screen && mState) {
        mState->OnConnectSuccess();
    }
}

void Session::HandleConnectFailure(std::string const& user, ISkypeApplication*) {
    if (user != mUserName) {
        return;
    }
    CORVANE_LOG("AP2AP connection failure: " << user);
    Channel control;
    Channel screen;
    {
        CriticalSectionLock lock(mChannelLock);
        control.protocol = mControl.protocol;
        screen.protocol = mScreen.protocol;
        mControl.protocol = nullptr;
        mScreen.protocol = nullptr;
    }
    DeleteChannel(screen);  // protocols only: the transports stay until the next connect
    DeleteChannel(control);
    if (mState) {
        mState->OnConnectFailure();
    }
}

void Session::HandleSendingFinished(std::string const& user, ISkypeApplication*) {
    if (user == mUserName && mState) {
        mState->OnSendingFinished();
    }
}

void Session::HandleSkypeEventsIdle() {
    long const stop = mPendingStop.exchange(0);
    if (stop != 0) {
        CarryOutStop(stop == 2);
    }
    RunPostedRequests();
}

void Session::CarryOutStop(bool returnToConnected) {
    RequestRemoteDesktopNetMsg abort;
    abort.SetAbort(true);
    SendNetworkMessage(abort);
    if (mGui) {
        mGui->HideRemoteDesktop();
        mGui->ShowNotification(GetFullName(), "Session was stopped.", L"red",
                               std::vector<NotificationButton>());
    }
    if (returnToConnected) {
        if (auto* state = dynamic_cast<SessionState*>(mState)) {
            state->Stop();
        }
    }
}

void Session::StopDisplaying(bool returnToConnected) {
    mPendingStop.exchange(returnToConnected ? 2 : 1);
}

void Session::PostOperation(std::string const& name) {
    Post({mGeneration.load(), name, 0});
}

void Session::PostNotificationClick(int index) {
    Post({mGeneration.load(), std::string(), index});
}

void Session::Post(PostedRequest const& request) {
    CriticalSectionLock lock(mPostedLock);
    if (mPosted.size() < kMaxPosted) {
        mPosted.push_back(request);
    }
}

// A request made for a state that has gone since is dropped: the user saw another question.
void Session::RunPostedRequests() {
    std::vector<PostedRequest> posted;
    {
        CriticalSectionLock lock(mPostedLock);
        posted.swap(mPosted);
    }
    for (PostedRequest const& request : posted) {
        if (!mState || request.generation != mGeneration.load()) {
            continue;
        }
        if (request.operation.empty()) {
            if (mGui) {
                mGui->NotificationClicked(request.index, std::string());
            }
            continue;
        }
        std::vector<ISessionState::AvailableOperation> operations;
        mState->GetAvailableOperations(operations);
        auto found = std::find_if(
            operations.begin(), operations.end(),
            [&](ISessionState::AvailableOperation const& op) { return op.name == request.operation; });
        if (found != operations.end()) {
            found->action();
        }
    }
}

void Session::ChangeState(ISessionState* next) {
    mPendingStop.exchange(0);
    ++mGeneration;
    ISessionState* old = mState;
    CORVANE_LOG(mUserName << " state: `" << StateName(old) << "` to `" << StateName(next) << "`");
    if (SessionState* state = dynamic_cast<SessionState*>(next)) {
        state->SetupNewState(this);
        ForgetViewerControlBetweenSharings(state->TableState());
    }
    StateChangeArgs args = {this, old, next};
    StateChanging(args);
    {
        CriticalSectionLock lock(mChannelLock);
        for (Channel const* channel : {&mControl, &mScreen}) {
            if (old && channel->protocol) {
                channel->protocol->UnregisterVisitor(old);
            }
        }
        CriticalSectionLock stateLock(mStateLock);
        mState = next;
        for (Channel const* channel : {&mControl, &mScreen}) {
            if (next && channel->protocol) {
                channel->protocol->RegisterVisitor(next);
            }
        }
    }
    if (mState) {
        mState->OnStarted();
    }
    if (mState == next) {
        StateChanged(this, next);
    }
    { CriticalSectionLock readersDone(mStateLock); }
    delete old;
}

void Session::SetViewerControl(bool allowed) {
    mViewerControl = allowed ? kControlAllowed : kControlDenied;
    CORVANE_LOG(mUserName << " viewer control: " << (allowed ? "given" : "taken back"));
}

bool Session::HasViewerControl() {
    int const said = mViewerControl.load();
    return said == kControlUnsaid ? mConfig->Sharing.AllowControl.Get() : said == kControlAllowed;
}

// Our user's choice belongs to the sharing he made it for: once that is over, or never came
// about, the next one starts from the configured default again.
void Session::ForgetViewerControlBetweenSharings(SessionTable::State next) {
    if (next == SessionTable::State::Available || next == SessionTable::State::Initial) {
        mViewerControl = kControlUnsaid;
    }
}

void Session::ReadState(std::function<void(ISessionState*)> const& read) const {
    CriticalSectionLock lock(mStateLock);
    read(mState);
}

ISessionState& Session::GetCurrentState() const {
    if (!mState) {
        Raise(SkypeError("Plugin state is not initialized"));
    }
    return *mState;
}

std::string Session::GetFullName() {
    if (mClient) {
        std::string const fullName = mClient->GetUserInfo(mUserName, false).fullName;
        if (!fullName.empty()) {
            return fullName;
        }
    }
    if (!mDiscoveryInfo.userName.empty()) {
        return mDiscoveryInfo.userName;
    }
    return mUserName;
}

bool Session::IsSameAccount() const {
    return mClient && mClient->GetCurrentUser() == mUserName;
}

int Session::GetSendCps() {
    return mScreenApp ? mScreenApp->GetBandwidthInfo(mUserName).bytesPerSecond : 0;
}

void Session::GetStatusProperties(std::vector<SessionProperty>& properties) {
    properties.push_back({"User info", "Skype alias", mUserName});
    properties.push_back({"User info", "Computer name", mDiscoveryInfo.computerName});
    properties.push_back({"User info", "Windows name", mDiscoveryInfo.userName});
    properties.push_back({"User info", "Skype name",
                          mClient ? mClient->GetUserInfo(mUserName, false).fullName : std::string()});
    bool haveBoth = false;
    long long received = 0;
    long long sent = 0;
    {
        CriticalSectionLock lock(mChannelLock);
        if (mControl.protocol && mScreen.protocol) {
            haveBoth = true;
            for (Channel const* channel : {&mControl, &mScreen}) {
                received += channel->protocol->GetReceiveFps().GetTotal();
                sent += channel->protocol->GetSendFps().GetTotal();
            }
        }
    }
    if (haveBoth) {
        properties.push_back({"Bandwidth", "Received", std::to_string(received) + " bytes"});
        properties.push_back({"Bandwidth", "Sent", std::to_string(sent) + " bytes"});
        properties.push_back({"Bandwidth", "Send speed", std::to_string(GetSendCps()) + " cps"});
    }
    ReadState([&properties](ISessionState* state) {
        if (state) {
            state->GetStatusProperties(properties);
        }
    });
}
