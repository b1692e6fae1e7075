#include "SimulatedPeers.h"

#include <windows.h>

#include <atomic>

#include "foundation/SyncEvent.h"

namespace {

std::wstring UniqueName(std::string const& handle, wchar_t const* kind) {
    static std::atomic<int> counter{0};
    return L"CorvanePeers." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(counter++) +
           L"." + std::wstring(handle.begin(), handle.end()) + kind;
}

// Signals an event once the client reports a successful attachment.
class AttachWaiter {
public:
    explicit AttachWaiter(SkypeClient& client) : mClient(client) {
        mClient.OnAttach.Add(MakeDelegate<&AttachWaiter::OnAttach>(this));
    }
    ~AttachWaiter() { mClient.OnAttach.Remove(MakeDelegate<&AttachWaiter::OnAttach>(this)); }
    bool Wait(unsigned timeoutMs) {
        return mClient.GetAttachStatus() == ISkypeClient::AttachSuccess ||
               mAttached.Wait(timeoutMs) == WAIT_OBJECT_0;
    }

private:
    void OnAttach(ISkypeClient& client) {
        if (client.GetAttachStatus() == ISkypeClient::AttachSuccess) {
            mAttached.Set();
        }
    }
    SkypeClient& mClient;
    SyncEvent mAttached;
};

}  // namespace

SimulatedPeers::SimulatedPeers(std::vector<std::string> const& handles, unsigned rate)
    : mSimulator(std::make_unique<skypesim::SkypeSimulator>()) {
    for (std::string const& handle : handles) {
        skypesim::AccountConfig config;
        config.handle = handle;
        config.fullName = handle + " Example";
        config.discoverMessage = UniqueName(handle, L".Discover");
        config.attachMessage = UniqueName(handle, L".Attach");
        config.rate = rate;
        for (std::string const& other : handles) {
            if (other != handle) {
                config.friends.push_back(other);
            }
        }
        mSimulator->AddAccount(config);
        mAccounts[handle] = config;
    }
}

SimulatedPeers::~SimulatedPeers() {
    mClients.clear();  // clients before the network they talk to
    mSimulator.reset();
}

SkypeClient& SimulatedPeers::NewClient(std::string const& handle) {
    skypesim::AccountConfig const& config = mAccounts.at(handle);
    auto client =
        std::make_unique<SkypeClient>(nullptr, RegisterWindowMessageW(config.discoverMessage.c_str()),
                                      RegisterWindowMessageW(config.attachMessage.c_str()));
    SkypeClient& made = *client;
    mClients[handle] = std::move(client);
    return made;
}

bool SimulatedPeers::Attach(std::string const& handle, unsigned timeoutMs) {
    SkypeClient& client = mClients.count(handle) ? *mClients[handle] : NewClient(handle);
    AttachWaiter waiter(client);
    client.Attach();
    return waiter.Wait(timeoutMs);
}

bool SimulatedPeers::Connect(SkypeApplication& caller, std::string const& callerHandle,
                             SkypeApplication& callee, std::string const& calleeHandle, unsigned timeoutMs) {
    caller.Connect(calleeHandle);
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(5)) {
        if (caller.IsConnected(calleeHandle) && callee.IsConnected(callerHandle)) {
            return true;
        }
    }
    return false;
}
