#include "skype/SkypeApplication.h"

#include <memory>

#include <algorithm>
#include <climits>
#include <cstring>

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "skype/SkypeCommand.h"

namespace {
constexpr unsigned kProbeTimeoutMs = 25;
constexpr char kApplicationExists[] = "ERROR 541";
}  // namespace

SkypeApplication::SkypeApplication(ISkypeClient* client, std::string const& name)
    : mName(name), mClient(client) {
    // Subscribe first: the stream list asked for while registering may be reported at once.
    Subscribe();
    try {
        Register();
    } catch (...) {
        Unsubscribe();
        throw;
    }
}

SkypeApplication::~SkypeApplication() {
    Unsubscribe();
    std::set<std::string> requested;
    {
        CriticalSectionLock lock(mLock);
        requested = mRequested;
    }
    for (std::string const& user : requested) {
        try {
            Disconnect(user);
        } catch (std::exception const& error) {
            CORVANE_LOG("Error in ~SkypeApplication: " << error.what());
        }
    }
    try {
        mClient->SendCommand("DELETE APPLICATION " + mName, false);
    } catch (std::exception const& error) {
        CORVANE_LOG("Error in ~SkypeApplication: " << error.what());
    }
}

std::string SkypeApplication::Command(std::string const& verb) const {
    return "ALTER APPLICATION " + mName + " " + verb;
}

void SkypeApplication::Register() {
    std::string const streams = "GET APPLICATION " + mName + " STREAMS";
    try {
        SkypeCommand probe(streams, kProbeTimeoutMs);
        mClient->Send(probe);
    } catch (BaseError const&) {
        try {
            mClient->SendCommand("CREATE APPLICATION " + mName, false);
            return;
        } catch (SkypeError const& error) {
            if (!strstr(error.what(), kApplicationExists)) {
                throw;
            }
        }
    }
    // The application exists: its current streams arrive as a notification.
    mClient->Send(streams);
}

void SkypeApplication::Subscribe() {
    mClient->OnAppStreams.Add(MakeDelegate<&SkypeApplication::OnStreams>(this));
    mClient->OnAppReceived.Add(MakeDelegate<&SkypeApplication::OnReceived>(this));
    mClient->OnAppDatagram.Add(MakeDelegate<&SkypeApplication::OnDatagram>(this));
    mClient->OnAppSending.Add(MakeDelegate<&SkypeApplication::OnSending>(this));
}

void SkypeApplication::Unsubscribe() {
    mClient->OnAppStreams.Remove(MakeDelegate<&SkypeApplication::OnStreams>(this));
    mClient->OnAppReceived.Remove(MakeDelegate<&SkypeApplication::OnReceived>(this));
    mClient->OnAppDatagram.Remove(MakeDelegate<&SkypeApplication::OnDatagram>(this));
    mClient->OnAppSending.Remove(MakeDelegate<&SkypeApplication::OnSending>(this));
}

void SkypeApplication::Connect(std::string const& user) {
    mClient->SendCommand(Command("CONNECT " + user), false);
    CriticalSectionLock lock(mLock);
    mRequested.insert(user);
}

void SkypeApplication::Disconnect(std::string const& user) {
    std::string streamId;
    {
        CriticalSectionLock lock(mLock);
        if (!mRequested.erase(user)) {
            Raise(SkypeError("Connection for user " + user + " is not requested"));
        }
        streamId = StreamIdOf(user);
        if (streamId.empty()) {
            CORVANE_LOG("User " << user << " is not connected");
        }
        mConnections.erase(user);
    }
    mClient->SendCommand(Command("DISCONNECT " + user + ":" + streamId), false);
}

std::string SkypeApplication::StreamIdOf(std::string const& user) const {
    auto found = mConnections.find(user);
    return found == mConnections.end() ? std::string() : found->second.streamId;
}

std::string SkypeApplication::StreamCommand(char const* verb, std::string const& user,
                                            std::string const& text) {
    std::string streamId;
    {
        CriticalSectionLock lock(mLock);
        streamId = StreamIdOf(user);
    }
    if (streamId.empty()) {
        Raise(SkypeError("AP2AP: User not registered: " + user));
    }
    return Command(std::string(verb) + " " + user + ":" + streamId + " " + text);
}

void SkypeApplication::Write(std::string const& user, std::string const& text) {
    mClient->SendCommand(StreamCommand("WRITE", user, text), false);
}

void SkypeApplication::SendDatagram(std::string const& user, std::string const& text) {
    mClient->Send(StreamCommand("DATAGRAM", user, text));
}

bool SkypeApplication::IsConnected(std::string const& user) {
    CriticalSectionLock lock(mLock);
    return !StreamIdOf(user).empty();
}

int SkypeApplication::GetSendingSize(std::string const& user) {
    CriticalSectionLock lock(mLock);
    auto found = mConnections.find(user);
    if (found == mConnections.end() || found->second.streamId.empty()) {
        CORVANE_LOG("AP2AP: " << mName << " User not registered: " << user);
        return 0;
    }
    return found->second.pending;
}

ISkypeApplication::BandwidthInfo SkypeApplication::GetBandwidthInfo(std::string const& user) {
    CriticalSectionLock lock(mLock);
    auto found = mConnections.find(user);
    BandwidthInfo info;
    if (found != mConnections.end() && !found->second.streamId.empty()) {
        info.bytesPerSecond = found->second.throughput;
    }
    return info;
}

void SkypeApplication::OnStreams(std::string const& name, StreamList const& streams) {
    if (name != mName) {
        return;
    }
    CORVANE_LOG("HandleAppStreams " << name << " inside " << mName);
    std::map<std::string, std::string> current;
    for (auto const& stream : streams) {
        current[stream.first] = stream.second;
    }
    std::vector<std::string> failed;
    std::vector<std::string> connected;
    {
        CriticalSectionLock lock(mLock);
        for (auto it = mConnections.begin(); it != mConnections.end();) {
            if (current.count(it->first)) {
                ++it;
                continue;
            }
            CORVANE_LOG("AP2AP: " << mName << " user removed from connections: " << it->first);
            mRequested.erase(it->first);
            failed.push_back(it->first);
            it = mConnections.erase(it);
        }
        for (auto const& stream : current) {
            if (StreamIdOf(stream.first) != stream.second) {
                CORVANE_LOG("AP2AP: " << mName << " connect success: " << stream.first << ":"
                                      << stream.second);
                mConnections[stream.first] = Connection();
                mConnections[stream.first].streamId = stream.second;
                connected.push_back(stream.first);
            }
        }
    }
    // A handler may delete this application: nothing of it is touched once it is gone.
    LifetimeGuard::Witness const alive = mLifetime.Watch();
    for (std::string const& user : failed) {
        OnConnectFailure(user, this);
        if (alive.Gone()) {
            return;
        }
    }
    for (std::string const& user : connected) {
        OnConnectSuccess(user, this);
        if (alive.Gone()) {
            return;
        }
    }
}

bool SkypeApplication::AcceptData(std::string const& user, std::string const& streamId) {
    bool connectedNow = false;
    {
        CriticalSectionLock lock(mLock);
        if (mRequested.count(user) && StreamIdOf(user).empty()) {
            CORVANE_LOG("AP2AP: receive without connect: connect success: " << user);
            mConnections[user] = Connection();
            mConnections[user].streamId = streamId;
            connectedNow = true;
        }
        if (StreamIdOf(user) != streamId) {
            CORVANE_LOG("AP2AP: " << mName << " User not registered: " << user);
            return false;
        }
    }
    if (connectedNow) {
        OnConnectSuccess(user, this);
    }
    return true;
}

void SkypeApplication::OnReceived(std::string const& name, StreamList const& streams) {
    if (name != mName) {
        return;
    }
    LifetimeGuard::Witness const alive = mLifetime.Watch();
    for (auto const& stream : streams) {
        bool accepted = AcceptData(stream.first, stream.second);
        if (alive.Gone()) {
            return;  // deleted by a handler of a connection it reported
        }
        if (!accepted) {
            continue;
        }
        std::string const read = Command("READ " + stream.first + ":" + stream.second);
        std::string reply = mClient->SendCommand(read, false);
        if (reply.size() > read.size()) {
            OnDataReceived(stream.first, reply.c_str() + read.size() + 1);
            if (alive.Gone()) {
                return;
            }
        }
    }
}

void SkypeApplication::OnDatagram(std::string const& name, ISkypeEvents::AppDatagramData const& datagram) {
    if (name == mName && AcceptData(datagram.user, datagram.streamId)) {
        OnDataReceived(datagram.user, datagram.data);
    }
}

void SkypeApplication::OnSending(std::string const& name,
                                 std::vector<ISkypeEvents::AppSendingData> const& sending) {
    if (name != mName) {
        return;
    }
    std::vector<std::string> finished;
    {
        CriticalSectionLock lock(mLock);
        for (auto& entry : mConnections) {
            auto item = std::find_if(
                sending.begin(), sending.end(),
                [&](ISkypeEvents::AppSendingData const& data) { return data.user == entry.first; });
            bool const listed = item != sending.end();
            if (UpdateSending(entry.first, entry.second, listed, listed ? item->bytes : 0)) {
                finished.push_back(entry.first);
            }
        }
    }
    LifetimeGuard::Witness const alive = mLifetime.Watch();
    for (std::string const& user : finished) {
        OnSendingFinished(user, this);
        if (alive.Gone()) {
            return;
        }
    }
}

bool SkypeApplication::UpdateSending(std::string const& user, Connection& connection, bool listed,
                                     int pending) {
    int const previous = connection.pending;
    if (previous == 0 && pending > 0) {
        connection.burstBytes += pending;
        connection.burstTimer.StartTimer();
    }
    if (pending == 0 && previous > 0) {
        connection.burstSeconds += connection.burstTimer.GetTimeInSec();
        if (++connection.bursts >= kBurstsPerMeasure) {
            if (connection.burstSeconds > 0) {
                // The byte counts come from the messenger: keep the quotient within an int.
                double const rate = connection.burstBytes / connection.burstSeconds;
                connection.throughput = static_cast<int>(std::min(rate, static_cast<double>(INT_MAX)));
            }
            connection.burstBytes = 0;
            connection.burstSeconds = 0;
            connection.bursts = 0;
        }
        CORVANE_LOG("Current cps for " << user << ": " << connection.throughput);
    }
    connection.pending = pending;
    return (previous >= kSendingThreshold && pending < kSendingThreshold) || (!listed && previous != 0);
}
