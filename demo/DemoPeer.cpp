#include "DemoPeer.h"

namespace {
constexpr char kControlApplication[] = "corvane";
constexpr char kScreenApplication[] = "corvane.screen";
}  // namespace

DemoPeer::DemoPeer(std::string const& discoverMessage, std::string const& attachMessage)
    : mClient(nullptr, RegisterWindowMessageA(discoverMessage.c_str()), RegisterWindowMessageA(attachMessage.c_str())),
      mAttached(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      mConnected(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      mReceived(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    mClient.OnAttach.Add(MakeDelegate<&DemoPeer::OnAttach>(this));
}

DemoPeer::~DemoPeer() {
    // Endpoints before transports, transports before applications, applications before the client.
    mControl.reset();
    mScreen.reset();
    mControlTransport.reset();
    mScreenTransport.reset();
    for (SkypeApplication* application : {mControlApp.get(), mScreenApp.get()}) {
        if (application) {
            application->OnConnectSuccess.Remove(MakeDelegate<&DemoPeer::OnConnected>(this));
        }
    }
    mControlApp.reset();
    mScreenApp.reset();
    mClient.OnAttach.Remove(MakeDelegate<&DemoPeer::OnAttach>(this));
    CloseHandle(mAttached);
    CloseHandle(mConnected);
    CloseHandle(mReceived);
}

void DemoPeer::OnAttach(ISkypeClient& client) {
    if (client.GetAttachStatus() == ISkypeClient::AttachSuccess) {
        SetEvent(mAttached);
    }
}

bool DemoPeer::Attach(DWORD timeoutMs) {
    mClient.Attach();
    return WaitForSingleObject(mAttached, timeoutMs) == WAIT_OBJECT_0;
}

void DemoPeer::OpenApplications(std::string const& contact) {
    mContact = contact;
    mControlApp = std::make_unique<SkypeApplication>(&mClient, kControlApplication);
    mScreenApp = std::make_unique<SkypeApplication>(&mClient, kScreenApplication);
    for (SkypeApplication* application : {mControlApp.get(), mScreenApp.get()}) {
        application->OnConnectSuccess.Add(MakeDelegate<&DemoPeer::OnConnected>(this));
    }
    mControlTransport = std::make_unique<SkypeReliableNetworkTransport>(mControlApp.get(), contact);
    mScreenTransport = std::make_unique<SkypeReliableNetworkTransport>(mScreenApp.get(), contact);
    mControl = std::make_unique<NetworkProtocol>(mControlTransport.get());
    mScreen = std::make_unique<NetworkProtocol>(mScreenTransport.get());
    mControl->RegisterVisitor(this);
    mScreen->RegisterVisitor(this);
}

void DemoPeer::Connect() {
    mControlApp->Connect(mContact);
    mScreenApp->Connect(mContact);
}

void DemoPeer::OnConnected(std::string const& user, ISkypeApplication*) {
    if (user == mContact) {
        SetEvent(mConnected);
    }
}

bool DemoPeer::WaitConnected(DWORD timeoutMs) {
    DWORD const start = GetTickCount();
    while (!mControlApp->IsConnected(mContact) || !mScreenApp->IsConnected(mContact)) {
        DWORD const elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs || WaitForSingleObject(mConnected, timeoutMs - elapsed) != WAIT_OBJECT_0) {
            return mControlApp->IsConnected(mContact) && mScreenApp->IsConnected(mContact);
        }
    }
    return true;
}

void DemoPeer::Record(std::string const& line) {
    {
        std::lock_guard<std::mutex> lock(mLock);
        mLines.push_back(line);
    }
    SetEvent(mReceived);
}

std::string DemoPeer::WaitMessage(DWORD timeoutMs) {
    DWORD const start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mLock);
            if (!mLines.empty()) {
                std::string line = mLines.front();
                mLines.erase(mLines.begin());
                return line;
            }
        }
        DWORD const elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs || WaitForSingleObject(mReceived, timeoutMs - elapsed) != WAIT_OBJECT_0) {
            return "(nothing arrived)";
        }
    }
}

std::vector<unsigned char> DemoPeer::TakePayload() {
    std::lock_guard<std::mutex> lock(mLock);
    return std::move(mPayload);
}

void DemoPeer::Handle(DiscoveryNetMsg const& message) {
    DiscoveryInfo info = message.GetDiscoveryInfo();
    Record("discovery: user \"" + info.userName + "\" on computer \"" + info.computerName + "\"");
}

void DemoPeer::Handle(TestConnectNetMsg const& message) {
    Record(std::string(message.IsResponse() ? "test reply: \"" : "test ping: \"") + message.GetData() + "\"");
    if (!message.IsResponse()) {
        mControl->Send(TestConnectNetMsg(message.GetData().c_str(), true));
    }
}

void DemoPeer::Handle(ClipboardNetMsg const& message) {
    {
        std::lock_guard<std::mutex> lock(mLock);
        mPayload.assign(message.GetClipboardData(), message.GetClipboardData() + message.GetClipboardDataSize());
    }
    Record("payload: " + std::to_string(message.GetClipboardDataSize()) + " bytes");
}
