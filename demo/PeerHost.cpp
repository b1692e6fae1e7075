#include "PeerHost.h"

#include <stdexcept>

namespace {
constexpr char kControlApplication[] = "corvane";
constexpr char kScreenApplication[] = "corvane.screen";

char const* StatusWord(ISkypeClient::UserStatus status) {
    static char const* const words[] = {"OFFLINE", "ONLINE", "AWAY", "NA", "DND", "INVISIBLE", "LOGGEDOUT"};
    return status >= 0 && status <= ISkypeClient::UserLoggedOut ? words[status] : "UNKNOWN";
}
}  // namespace

PeerHost::PeerHost(PeerOutput& output, std::string const& discoverMessage, std::string const& attachMessage,
                   bool ownApplications)
    : mOutput(output),
      mClient(nullptr, RegisterWindowMessageA(discoverMessage.c_str()),
              RegisterWindowMessageA(attachMessage.c_str())),
      mOwnApplications(ownApplications) {
    mClient.OnAttach.Add(MakeDelegate<&PeerHost::OnAttach>(this));
    mClient.OnUserStatus.Add(MakeDelegate<&PeerHost::OnUserStatus>(this));
    mClient.OnLogout.Add(MakeDelegate<&PeerHost::OnLogout>(this));
    mClient.OnAppDatagram.Add(MakeDelegate<&PeerHost::OnDatagram>(this));
}

PeerHost::~PeerHost() {
    // No stream event makes channels once these are gone.
    for (SkypeApplication* application : {mControlApp.get(), mScreenApp.get()}) {
        if (application) {
            application->OnConnectSuccess.Remove(MakeDelegate<&PeerHost::OnConnectSuccess>(this));
            application->OnConnectFailure.Remove(MakeDelegate<&PeerHost::OnConnectFailure>(this));
        }
    }
    {
        std::lock_guard<std::mutex> lock(mLock);
        mChannels.clear();  // endpoints and transports before their applications
    }
    mControlApp.reset();
    mScreenApp.reset();
    mClient.OnAttach.Remove(MakeDelegate<&PeerHost::OnAttach>(this));
    mClient.OnUserStatus.Remove(MakeDelegate<&PeerHost::OnUserStatus>(this));
    mClient.OnLogout.Remove(MakeDelegate<&PeerHost::OnLogout>(this));
    mClient.OnAppDatagram.Remove(MakeDelegate<&PeerHost::OnDatagram>(this));
}

bool PeerHost::Attach(DWORD timeoutMs) {
    if (mControlApp) {
        return true;
    }
    mClient.Attach();
    if (mAttached.Wait(timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    mUser = mClient.GetCurrentUser();
    mOutput.Say("attached as " + mUser);
    if (!mOwnApplications) {
        return true;
    }
    mControlApp = std::make_unique<SkypeApplication>(&mClient, kControlApplication);
    mScreenApp = std::make_unique<SkypeApplication>(&mClient, kScreenApplication);
    for (SkypeApplication* application : {mControlApp.get(), mScreenApp.get()}) {
        application->OnConnectSuccess.Add(MakeDelegate<&PeerHost::OnConnectSuccess>(this));
        application->OnConnectFailure.Add(MakeDelegate<&PeerHost::OnConnectFailure>(this));
    }
    mOutput.Say(std::string("registered ") + kControlApplication + " " + kScreenApplication);
    return true;
}

PeerHost::Channels& PeerHost::ChannelsTo(std::string const& contact) {
    if (!mControlApp) {
        throw std::runtime_error("not attached");
    }
    std::lock_guard<std::mutex> lock(mLock);
    Channels& channels = mChannels[contact];
    if (!channels.control) {
        channels.control = std::make_unique<PeerChannel>(*mControlApp, contact, mOutput);
        channels.screen = std::make_unique<PeerChannel>(*mScreenApp, contact, mOutput);
    }
    mContact = contact;
    return channels;
}

PeerHost::Channels& PeerHost::Current() {
    std::lock_guard<std::mutex> lock(mLock);
    auto it = mChannels.find(mContact);
    if (it == mChannels.end()) {
        throw std::runtime_error("no contact yet: connect first");
    }
    return it->second;
}

PeerChannel& PeerHost::Control() {
    return *Current().control;
}
PeerChannel& PeerHost::Screen() {
    return *Current().screen;
}

bool PeerHost::BothOpen(std::string const& contact) {
    return !contact.empty() && mControlApp && mControlApp->IsConnected(contact) &&
           mScreenApp->IsConnected(contact);
}

bool PeerHost::Connect(std::string const& contact, DWORD timeoutMs) {
    ChannelsTo(contact);
    mControlApp->Connect(contact);
    mScreenApp->Connect(contact);
    return WaitConnected(timeoutMs);
}

bool PeerHost::WaitConnected(DWORD timeoutMs) {
    DWORD const start = GetTickCount();
    for (;;) {
        std::string contact;
        {
            std::lock_guard<std::mutex> lock(mLock);
            contact = mContact;
        }
        if (BothOpen(contact)) {
            return true;
        }
        DWORD const elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs || mStreamChanged.Wait(timeoutMs - elapsed) != WAIT_OBJECT_0) {
            return false;
        }
    }
}

void PeerHost::OnAttach(ISkypeClient& client) {
    if (client.GetAttachStatus() == ISkypeClient::AttachSuccess) {
        mAttached.Set();
    }
}

void PeerHost::OnUserStatus(std::string const& user, ISkypeClient::UserStatus status) {
    mOutput.Say("status " + user + " " + StatusWord(status));
}

void PeerHost::OnLogout() {
    mOutput.Say("logged out");
}

void PeerHost::OnDatagram(std::string const& application, ISkypeEvents::AppDatagramData const& datagram) {
    mOutput.Say("received datagram from " + datagram.user + " on " + application + " (" +
                std::to_string(datagram.data ? strlen(datagram.data) : 0) + " characters)");
}

void PeerHost::OnConnectSuccess(std::string const& user, ISkypeApplication* application) {
    ChannelsTo(user);  // a contact that connects to us gets its channels too
    mOutput.Say("connected " + static_cast<SkypeApplication*>(application)->GetName() + " " + user);
    mStreamChanged.Set();
}

void PeerHost::OnConnectFailure(std::string const& user, ISkypeApplication* application) {
    mOutput.Say("disconnected " + static_cast<SkypeApplication*>(application)->GetName() + " " + user);
    mStreamChanged.Set();
}
