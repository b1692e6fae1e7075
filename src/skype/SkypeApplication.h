#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/LifetimeGuard.h"
#include "foundation/Timer.h"
#include "skype/ISkypeApplication.h"
#include "skype/ISkypeClient.h"

// One named messenger application: registers it, connects it to contacts, writes and reads
// their streams, and reports connections, received text and drained send buffers. Its events
// are raised on the client's notification thread; its operations may be called from any
// thread except the client's window thread. The client must outlive the application. A
// handler of its events may delete it.
class SkypeApplication final : public ISkypeApplication {
public:
    // Pending bytes below which a stream counts as drained (flow control of the screen stream).
    static constexpr int kSendingThreshold = 2000;
    // Bursts measured before the throughput is (re)computed.
    static constexpr int kBurstsPerMeasure = 6;

    // Registers the application with the messenger; raises SkypeError when that fails.
    SkypeApplication(ISkypeClient* client, std::string const& name);
    // Disconnects every requested user and deletes the application; errors are only logged.
    ~SkypeApplication();
    SkypeApplication(SkypeApplication const&) = delete;
    SkypeApplication& operator=(SkypeApplication const&) = delete;

    void Connect(std::string const& user) override;
    void Disconnect(std::string const& user) override;
    void Write(std::string const& user, std::string const& text) override;
    void SendDatagram(std::string const& user, std::string const& text) override;
    BandwidthInfo GetBandwidthInfo(std::string const& user) override;
    bool IsConnected(std::string const& user) override;
    int GetSendingSize(std::string const& user) override;

    std::string const& GetName() const { return mName; }

private:
    using StreamList = std::vector<std::pair<std::string, std::string>>;

    // What is known of one user's stream.
    struct Connection {
        std::string streamId;  // empty: not connected
        int pending = 0;       // bytes the messenger last reported as still to send
        int64_t burstBytes = 0;
        double burstSeconds = 0;
        int throughput = 0;  // bytes per second
        int bursts = 0;
        Timer burstTimer;
    };

    void Register();
    void Subscribe();
    void Unsubscribe();

    void OnStreams(std::string const& name, StreamList const& streams);
    void OnReceived(std::string const& name, StreamList const& streams);
    void OnDatagram(std::string const& name, ISkypeEvents::AppDatagramData const& datagram);
    void OnSending(std::string const& name, std::vector<ISkypeEvents::AppSendingData> const& sending);

    // Accepts data on `streamId` from `user`, taking it as the user's stream when the user was
    // requested and has none yet.
    bool AcceptData(std::string const& user, std::string const& streamId);
    // Updates one stream's send state; true when its buffer drained.
    bool UpdateSending(std::string const& user, Connection& connection, bool listed, int pending);
    // "ALTER APPLICATION <name> <verb> <user>:<id> <text>" for the user's open stream.
    std::string StreamCommand(char const* verb, std::string const& user, std::string const& text);
    // The user's stream id, "" when not connected. Call under the lock.
    std::string StreamIdOf(std::string const& user) const;
    std::string Command(std::string const& verb) const;

    std::string mName;
    ISkypeClient* mClient;  // not owned
    std::map<std::string, Connection> mConnections;
    CriticalSection mLock;    // guards mConnections and mRequested
    LifetimeGuard mLifetime;  // tells a handler-raising method that its application is gone
    std::set<std::string> mRequested;
};
