#include "skypesim/SimNetwork.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace skypesim {

namespace {
// Commands are logged only this far: a WRITE can carry megabytes.
constexpr std::size_t kLoggedCommandLength = 200;
// SENDING reports of changing counts go at most this often; a stream that starts or stops
// sending is reported at once.
constexpr auto kSendingInterval = std::chrono::milliseconds(15);
// What the other machine may make this one hold: its accounts, their friends, their texts.
constexpr std::size_t kMaxRemoteAccounts = 1000;
constexpr std::size_t kMaxRemoteFriends = 1000;
constexpr std::size_t kMaxNameBytes = 1024;
constexpr std::size_t kMaxStatusBytes = 64;
// Credit saved while the simulator thread was busy elsewhere, in seconds of the rate.
constexpr double kMaxBurstSeconds = 0.1;
// What a receiver holds unread before its sender waits, as over a real connection: a viewer
// slower than the link makes the sender slow down instead of queueing seconds of packets.
constexpr std::size_t kReceiveWindow = 64 * 1024;

char const kUnknownApplication[] = "ERROR 542 Unknown application";
char const kApplicationExists[] = "ERROR 541 CREATE APPLICATION: Application already exists";
char const kUnknownUser[] = "ERROR 544 ALTER APPLICATION: Unknown user";
char const kInvalidStream[] = "ERROR 545 ALTER APPLICATION: Invalid stream";

void AppendItem(std::string& list, std::string const& item) {
    if (!list.empty()) {
        list += ' ';
    }
    list += item;
}

bool IsValidHandle(std::string const& handle) {
    return !handle.empty() && handle.find_first_of(" :,=") == std::string::npos;
}
}  // namespace

SimNetwork::SimNetwork() : mInterpreter(*this) {}

SimAccount& SimNetwork::AddAccount(AccountConfig const& config) {
    if (!IsValidHandle(config.handle)) {
        throw std::invalid_argument("invalid account handle: '" + config.handle + "'");
    }
    if (mAccounts.count(config.handle)) {
        throw std::invalid_argument("account exists already: " + config.handle);
    }
    SimAccount& account = *(mAccounts[config.handle] = std::make_unique<SimAccount>(config));
    for (std::string const& other : config.friends) {
        AddFriends(config.handle, other);
    }
    TellAccount(account);
    return account;
}

SimAccount& SimNetwork::Get(std::string const& handle) {
    SimAccount* account = Find(handle);
    if (!account) {
        throw std::invalid_argument("no such account: " + handle);
    }
    return *account;
}

SimAccount* SimNetwork::Find(std::string const& handle) {
    auto it = mAccounts.find(handle);
    return it == mAccounts.end() ? nullptr : it->second.get();
}

std::vector<SimAccount*> SimNetwork::Accounts() {
    std::vector<SimAccount*> accounts;
    for (auto& entry : mAccounts) {
        accounts.push_back(entry.second.get());
    }
    return accounts;
}

void SimNetwork::AddFriends(std::string const& a, std::string const& b) {
    // Only a new friendship is told to the other machine, which tells back only what is new to it.
    if (IsValidHandle(a) && IsValidHandle(b) && a != b && mFriendships.insert({a, b}).second) {
        mFriendships.insert({b, a});
        for (SimAccount* account : {Find(a), Find(b)}) {
            if (account) {
                TellAccount(*account);
            }
        }
    }
}

std::vector<std::string> SimNetwork::FriendsOf(std::string const& handle) const {
    std::vector<std::string> friends;
    for (auto it = mFriendships.lower_bound({handle, std::string()});
         it != mFriendships.end() && it->first == handle; ++it) {
        friends.push_back(it->second);
    }
    return friends;
}

std::string SimNetwork::EffectiveStatus(SimAccount const& account) {
    return account.running && account.loggedIn ? account.config.onlineStatus : "OFFLINE";
}

void SimNetwork::AnnounceStatus(SimAccount& account, std::string const& before) {
    std::string now = EffectiveStatus(account);
    if (now == before) {
        return;
    }
    for (std::string const& handle : FriendsOf(account.config.handle)) {
        SimAccount* other = Find(handle);
        if (other && other->running && !other->remote) {
            Notify(*other, "USER " + account.config.handle + " ONLINESTATUS " + now);
        }
    }
    TellAccount(account);
}

void SimNetwork::MessengerStarted(SimAccount& account, HWND window) {
    std::string before = EffectiveStatus(account);
    account.running = true;
    account.window = window;
    AnnounceStatus(account, before);
}

void SimNetwork::MessengerStopped(SimAccount& account) {
    std::string before = EffectiveStatus(account);
    CloseEverything(account);
    account.running = false;
    account.window = nullptr;
    AnnounceStatus(account, before);
}

void SimNetwork::LogOut(SimAccount& account) {
    if (!account.loggedIn) {
        return;
    }
    std::string before = EffectiveStatus(account);
    Notify(account, "CONNSTATUS LOGGEDOUT");
    CloseEverything(account);
    account.loggedIn = false;
    AnnounceStatus(account, before);
}

void SimNetwork::LogIn(SimAccount& account) {
    std::string before = EffectiveStatus(account);
    account.loggedIn = true;
    AnnounceStatus(account, before);
}

void SimNetwork::SetOnlineStatus(SimAccount& account, std::string const& status) {
    std::string before = EffectiveStatus(account);
    account.config.onlineStatus = status;
    AnnounceStatus(account, before);
}

// The messenger forgets its applications, streams and clients (logout, or the process ended).
void SimNetwork::CloseEverything(SimAccount& account) {
    for (auto& entry : account.applications) {
        while (!entry.second.streams.empty()) {
            CloseStream(account, entry.first, entry.second.streams.begin()->first, false);
        }
    }
    account.applications.clear();
    account.clients.clear();
    account.sendCredit = 0;
}

void SimNetwork::HandleDiscover(SimAccount& account, HWND client) {
    if (!account.running) {
        return;
    }
    if (!account.loggedIn) {
        mOutgoing.push_back(
            {account.window, client, account.attachMessage, AttachNotAvailable, std::string(), 0});
        return;
    }
    unsigned delay = 0;
    for (AttachStep const& step : account.config.attachScript) {
        delay += step.delayMs;
        mOutgoing.push_back(
            {account.window, client, account.attachMessage, step.status, std::string(), delay});
    }
}

void SimNetwork::HandleCommand(SimAccount& account, HWND client, std::string const& text,
                               Clock::time_point now) {
    if (client) {
        account.clients.insert(client);
    }
    std::string id;
    std::string command = text;
    std::size_t blank = text.find(' ');
    if (!text.empty() && text[0] == '#' && blank != std::string::npos) {
        id = text.substr(0, blank + 1);
        command = text.substr(blank + 1);
    }
    ++account.counters.commands;
    account.commandLog->Add(command.substr(0, kLoggedCommandLength));

    // The reply goes before the notifications the command causes.
    std::size_t replyPlace = mOutgoing.size();
    std::optional<std::string> reply = account.faults.FailureFor(command);
    if (!reply) {
        reply = mInterpreter.Run(account, command, id.empty(), now);
    }
    if (!reply || !client || account.faults.DropReply(command)) {
        return;
    }
    Outgoing out{account.window, client, 0, 0, id + *reply, account.faults.ReplyDelay(command)};
    mOutgoing.insert(mOutgoing.begin() + replyPlace, std::move(out));
}

void SimNetwork::ForgetClient(HWND client) {
    for (auto& entry : mAccounts) {
        entry.second->clients.erase(client);
    }
}

std::vector<Outgoing> SimNetwork::TakeOutgoing() {
    std::vector<Outgoing> taken;
    taken.swap(mOutgoing);
    return taken;
}

void SimNetwork::Send(SimAccount& account, HWND client, std::string text, unsigned delayMs) {
    if (account.window) {
        mOutgoing.push_back({account.window, client, 0, 0, std::move(text), delayMs});
    }
}

void SimNetwork::Notify(SimAccount& account, std::string const& text) {
    for (HWND client : account.clients) {
        Send(account, client, text);
    }
}

// Applications and streams

SimApplication& SimNetwork::Application(SimAccount& account, std::string const& name) {
    auto it = account.applications.find(name);
    if (it == account.applications.end()) {
        throw CommandError(kUnknownApplication);
    }
    return it->second;
}

StreamEnd& SimNetwork::End(SimAccount& account, std::string const& name, std::string const& designator) {
    SimApplication& application = Application(account, name);
    std::size_t colon = designator.find(':');
    std::string digits = colon == std::string::npos ? std::string() : designator.substr(colon + 1);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
        throw CommandError(kInvalidStream);
    }
    auto it = application.streams.find(std::stoi(digits));
    if (it == application.streams.end() || it->second.peer != designator.substr(0, colon)) {
        throw CommandError(kInvalidStream);
    }
    return it->second;
}

std::pair<SimAccount*, StreamEnd*> SimNetwork::PeerOf(std::string const& name, StreamEnd const& end) {
    SimAccount* peer = Find(end.peer);
    if (peer) {
        auto application = peer->applications.find(name);
        if (application != peer->applications.end()) {
            auto it = application->second.streams.find(end.peerId);
            if (it != application->second.streams.end()) {
                return {peer, &it->second};
            }
        }
    }
    return {nullptr, nullptr};
}

StreamEnd* SimNetwork::StreamTo(SimAccount& account, std::string const& name, std::string const& peer) {
    for (auto& entry : Application(account, name).streams) {
        if (entry.second.peer == peer) {
            return &entry.second;
        }
    }
    return nullptr;
}

void SimNetwork::CreateApplication(SimAccount& account, std::string const& name) {
    if (account.applications.count(name)) {
        throw CommandError(kApplicationExists);
    }
    account.applications[name];
}

void SimNetwork::DeleteApplication(SimAccount& account, std::string const& name) {
    SimApplication& application = Application(account, name);
    while (!application.streams.empty()) {
        CloseStream(account, name, application.streams.begin()->first, false);
    }
    account.applications.erase(name);
}

std::string SimNetwork::StreamList(SimAccount& account, std::string const& name) {
    return Designators(Application(account, name));
}

void SimNetwork::Connect(SimAccount& account, std::string const& name, std::string const& user) {
    Application(account, name);
    SimAccount* peer = Find(user);
    if (!peer || peer == &account) {
        throw CommandError(kUnknownUser);
    }
    Notify(account, "APPLICATION " + name + " CONNECTING " + user);
    if (peer->remote) {
        Tell({"CONNECT", name, account.config.handle, user});
        return;
    }
    // A contact whose messenger is away or lacks the application is never reached.
    if (!peer->running || !peer->loggedIn || !peer->applications.count(name)) {
        return;
    }
    // One stream per pair: connecting again, from either side, reuses it.
    if (!StreamTo(account, name, user)) {
        int myId = account.nextStreamId++;
        int theirId = peer->nextStreamId++;
        StreamEnd& mine = account.applications[name].streams[myId];
        StreamEnd& theirs = peer->applications[name].streams[theirId];
        mine.id = theirs.peerId = myId;
        theirs.id = mine.peerId = theirId;
        mine.peer = user;
        theirs.peer = account.config.handle;
    }
    NotifyStreams(account, name);
    NotifyStreams(*peer, name);
}

void SimNetwork::Write(SimAccount& account, std::string const& name, std::string const& designator,
                       std::string text, Clock::time_point now) {
    StreamEnd& end = End(account, name, designator);
    if (!HasPending(account)) {
        // The rate counts from now, not from when the buffer last emptied.
        account.lastDrain = now;
        account.sendCredit = 0;
    }
    ++account.counters.packetsWritten;
    account.counters.bytesWritten += text.size();
    end.pendingBytes += text.size();
    end.sendBuffer.push_back(std::move(text));
    ReportSending(account, name, now);
}

std::optional<std::string> SimNetwork::Read(SimAccount& account, std::string const& name,
                                            std::string const& designator) {
    StreamEnd& end = End(account, name, designator);
    if (end.unread.empty()) {
        return std::nullopt;
    }
    std::string packet = std::move(end.unread.front());
    end.unread.pop_front();
    end.unreadBytes -= packet.size();
    if (RemoteOf(end)) {
        Tell({"READ", name, account.config.handle, end.peer, std::to_string(packet.size())});
    }
    ++account.counters.packetsRead;
    account.counters.bytesRead += packet.size();
    if (!end.unread.empty()) {
        NotifyReceived(account, name);
    }
    return packet;
}

void SimNetwork::Datagram(SimAccount& account, std::string const& name, std::string const& designator,
                          std::string const& text) {
    StreamEnd& end = End(account, name, designator);
    ++account.counters.datagrams;
    auto [peer, peerEnd] = PeerOf(name, end);
    if (peerEnd) {
        Notify(*peer, "APPLICATION " + name + " DATAGRAM " + peerEnd->Designator() + " " + text);
    } else if (RemoteOf(end)) {
        Tell({"DATAGRAM", name, account.config.handle, end.peer, text});
    }
}

void SimNetwork::Disconnect(SimAccount& account, std::string const& name, std::string const& designator) {
    CloseStream(account, name, End(account, name, designator).id, true);
}

// Closes both sides of a stream; data not yet read is lost. The other side is always told.
void SimNetwork::CloseStream(SimAccount& account, std::string const& name, int id, bool tellOwnSide) {
    SimApplication& application = account.applications[name];
    auto it = application.streams.find(id);
    if (it == application.streams.end()) {
        return;
    }
    StreamEnd end = std::move(it->second);
    application.streams.erase(it);
    auto [peer, peerEnd] = PeerOf(name, end);
    if (peerEnd) {
        peer->applications[name].streams.erase(peerEnd->id);
        NotifyStreams(*peer, name);
        ReportSending(*peer, name, Clock::now());
    } else if (RemoteOf(end)) {
        Tell({"CLOSE", name, account.config.handle, end.peer});
    }
    if (tellOwnSide) {
        NotifyStreams(account, name);
        ReportSending(account, name, Clock::now());
    }
}

// Sending and receiving

bool SimNetwork::HasPending(SimAccount const& account) {
    for (auto const& application : account.applications) {
        for (auto const& entry : application.second.streams) {
            if (entry.second.pendingBytes > 0) {
                return true;
            }
        }
    }
    return false;
}

void SimNetwork::Tick(Clock::time_point now) {
    for (auto& entry : mAccounts) {
        SimAccount& account = *entry.second;
        Drain(account, now);
        for (auto& application : account.applications) {
            ReportSending(account, application.first, now);
        }
    }
}

bool SimNetwork::NeedsTick() const {
    for (auto const& entry : mAccounts) {
        for (auto const& application : entry.second->applications) {
            if (!SendingList(application.second, false).empty() ||
                SendingList(application.second, true) != application.second.lastSending) {
                return true;
            }
        }
    }
    return false;
}

// The account's rate is shared evenly by its streams that have data to send; the streams to a
// contact with a rate of its own share that one.
void SimNetwork::Drain(SimAccount& account, Clock::time_point now) {
    std::map<std::string, PendingEnds> pending;  // by the contact of config.rateTo; "" for the rest
    for (auto& application : account.applications) {
        for (auto& entry : application.second.streams) {
            if (entry.second.pendingBytes > 0) {
                std::string const& peer = entry.second.peer;
                pending[account.config.rateTo.count(peer) ? peer : std::string()].push_back(
                    {&application.first, &entry.second});
            }
        }
    }
    double seconds = std::chrono::duration<double>(now - account.lastDrain).count();
    account.lastDrain = now;
    DrainShare(account, pending[std::string()], account.config.rate, account.sendCredit, seconds);
    for (auto const& limited : account.config.rateTo) {
        DrainShare(account, pending[limited.first], limited.second, account.creditTo[limited.first], seconds);
    }
}

void SimNetwork::DrainShare(SimAccount& account, PendingEnds pending, double rate, double& credit,
                            double seconds) {
    if (pending.empty()) {
        credit = 0;
        return;
    }
    credit = rate > 0 ? std::min(credit + rate * seconds, std::max(1.0, rate * kMaxBurstSeconds)) : 0;
    std::size_t budget =
        rate > 0 ? static_cast<std::size_t>(credit) : std::numeric_limits<std::size_t>::max();
    while (budget > 0 && !pending.empty()) {
        std::size_t share = std::max<std::size_t>(1, budget / pending.size());
        for (auto it = pending.begin(); it != pending.end() && budget > 0;) {
            std::size_t drained = DrainEnd(account, *it->first, *it->second, std::min(share, budget));
            budget -= drained;
            credit -= rate > 0 ? drained : 0;
            it = it->second->pendingBytes == 0 || drained == 0 ? pending.erase(it) : it + 1;
        }
    }
}

std::size_t SimNetwork::DrainEnd(SimAccount& account, std::string const& name, StreamEnd& end,
                                 std::size_t budget) {
    std::size_t drained = 0;
    while (drained < budget && !end.sendBuffer.empty() && (end.frontDrained > 0 || !WindowFull(name, end))) {
        std::string& front = end.sendBuffer.front();
        std::size_t step = std::min(front.size() - end.frontDrained, budget - drained);
        end.frontDrained += step;
        end.pendingBytes -= step;
        drained += step;
        if (end.frontDrained == front.size()) {
            std::string packet = std::move(front);
            end.sendBuffer.pop_front();
            end.frontDrained = 0;
            Deliver(account, name, end, std::move(packet));
        }
    }
    return drained;
}

// A drained packet reaches the other side's unread list. Its clients hear of it when the
// stream had nothing unread; otherwise after the READ that leaves it the next one.
void SimNetwork::Deliver(SimAccount& sender, std::string const& name, StreamEnd& from, std::string packet) {
    auto [peer, peerEnd] = PeerOf(name, from);
    if (peerEnd) {
        Receive(*peer, name, *peerEnd, std::move(packet));
    } else if (RemoteOf(from)) {
        from.peerUnread += packet.size();
        Tell({"DATA", name, sender.config.handle, from.peer, std::move(packet)});
    }
}

// A packet starts draining only while the other side holds less than the window unread.
bool SimNetwork::WindowFull(std::string const& name, StreamEnd& end) {
    StreamEnd const* peerEnd = PeerOf(name, end).second;
    return (peerEnd ? peerEnd->unreadBytes : end.peerUnread) >= kReceiveWindow;
}

void SimNetwork::Receive(SimAccount& reader, std::string const& name, StreamEnd& end, std::string packet) {
    bool wasEmpty = end.unread.empty();
    end.unreadBytes += packet.size();
    end.unread.push_back(std::move(packet));
    if (wasEmpty) {
        NotifyReceived(reader, name);
    }
}

// The link

void SimNetwork::Tell(std::vector<std::string> fields) {
    if (mLinked) {
        mLinkOutgoing.emplace_back(std::move(fields));
    }
}

void SimNetwork::TellAccount(SimAccount const& account) {
    if (account.remote) {
        return;
    }
    std::string friends;
    for (std::string const& handle : FriendsOf(account.config.handle)) {
        friends += (friends.empty() ? "" : ",") + handle;
    }
    Tell({"ACCOUNT", account.config.handle, account.config.fullName, EffectiveStatus(account), friends});
}

std::vector<LinkMessage> SimNetwork::TakeLinkOutgoing() {
    std::vector<LinkMessage> taken;
    taken.swap(mLinkOutgoing);
    return taken;
}

SimAccount* SimNetwork::RemoteOf(StreamEnd const& end) {
    SimAccount* peer = Find(end.peer);
    return peer && peer->remote ? peer : nullptr;
}

void SimNetwork::LinkUp() {
    mLinked = true;
    mPeerGreeted = false;
    Tell({"HELLO", "1"});
    for (auto& entry : mAccounts) {
        TellAccount(*entry.second);
    }
    Tell({"READY"});
}

void SimNetwork::LinkDown() {
    mLinked = false;
    mLinkOutgoing.clear();
    for (auto& entry : mAccounts) {
        SimAccount& account = *entry.second;
        for (auto& application : account.applications) {
            std::vector<int> cut;
            for (auto const& stream : application.second.streams) {
                if (RemoteOf(stream.second)) {
                    cut.push_back(stream.first);
                }
            }
            for (int id : cut) {
                CloseStream(account, application.first, id, true);
            }
        }
    }
    for (auto& entry : mAccounts) {
        if (entry.second->remote) {
            std::string before = EffectiveStatus(*entry.second);
            entry.second->config.onlineStatus = "OFFLINE";
            AnnounceStatus(*entry.second, before);
        }
    }
}

bool SimNetwork::HandleLinkMessage(LinkMessage const& message) {
    std::string const& kind = message.Kind();
    if (!mPeerGreeted) {
        if (kind != "HELLO" || message.Argument(0) != "1") {
            throw LinkError("expected HELLO 1 first, got " + kind);
        }
        mPeerGreeted = true;
        return false;
    }
    if (kind == "HELLO") {
        throw LinkError("a second HELLO");
    }
    if (kind == "ACCOUNT") {
        HandleAccount(message);
    } else if (kind != "READY") {
        HandleStreamMessage(message);
    }
    return kind == "READY";
}

SimAccount& SimNetwork::AddRemoteAccount(std::string const& handle) {
    if (!IsValidHandle(handle)) {
        throw LinkError("an account with the invalid handle \"" + handle.substr(0, 40) + "\"");
    }
    SimAccount* account = Find(handle);
    if (account && !account->remote) {
        throw LinkError("the account " + handle + " lives on both machines");
    }
    if (!account) {
        std::size_t remote = 0;
        for (auto const& entry : mAccounts) {
            remote += entry.second->remote ? 1 : 0;
        }
        if (remote >= kMaxRemoteAccounts) {
            throw LinkError("more than " + std::to_string(kMaxRemoteAccounts) + " accounts");
        }
        AccountConfig config;
        config.handle = handle;
        config.attachScript.clear();
        account = (mAccounts[handle] = std::make_unique<SimAccount>(config)).get();
        account->remote = true;
    }
    return *account;
}

void SimNetwork::HandleAccount(LinkMessage const& message) {
    std::string const& status = message.Argument(2);
    std::string const& friends = message.Argument(3);
    if (message.Argument(1).size() > kMaxNameBytes || status.empty() || status.size() > kMaxStatusBytes ||
        !IsValidHandle(status) ||
        static_cast<std::size_t>(std::count(friends.begin(), friends.end(), ',')) >= kMaxRemoteFriends) {
        throw LinkError("an account with a name, status or friends list out of bounds");
    }
    SimAccount& account = AddRemoteAccount(message.Argument(0));
    std::string before = EffectiveStatus(account);
    account.config.fullName = message.Argument(1);
    account.config.onlineStatus = status;
    account.running = account.loggedIn = true;
    for (std::size_t at = 0; at < friends.size();) {
        std::size_t comma = std::min(friends.find(',', at), friends.size());
        AddFriends(account.config.handle, friends.substr(at, comma - at));
        at = comma + 1;
    }
    AnnounceStatus(account, before);
}

SimAccount* SimNetwork::ReachableLocal(std::string const& handle, std::string const& name) {
    SimAccount* account = Find(handle);
    bool reachable = account && !account->remote && account->running && account->loggedIn &&
                     account->applications.count(name);
    return reachable ? account : nullptr;
}

StreamEnd& SimNetwork::OpenEnd(SimAccount& account, std::string const& name, std::string const& peer) {
    StreamEnd* end = StreamTo(account, name, peer);
    if (!end) {
        int id = account.nextStreamId++;
        end = &account.applications[name].streams[id];
        end->id = id;
        end->peer = peer;
    }
    return *end;
}

// Stream messages name the application, the sender's account and this side's account. Those
// for a stream this side does not have (closed meanwhile) are dropped.
void SimNetwork::HandleStreamMessage(LinkMessage const& message) {
    std::string const& kind = message.Kind();
    std::string const& name = message.Argument(0);
    std::string const& from = message.Argument(1);
    std::string const& to = message.Argument(2);
    SimAccount* sender = Find(from);
    if (!sender || !sender->remote) {
        throw LinkError(kind + " from " + from.substr(0, 40) + ", which is no account of the other side");
    }
    SimAccount* local = ReachableLocal(to, name);
    if (kind == "CONNECT" || kind == "OPENED") {
        if (local) {
            OpenEnd(*local, name, from);
            NotifyStreams(*local, name);
        }
        if (kind == "CONNECT" && local) {
            Tell({"OPENED", name, to, from});
        } else if (kind == "OPENED" && !local) {
            Tell({"CLOSE", name, to, from});
        }
        return;
    }
    StreamEnd* end = local ? StreamTo(*local, name, from) : nullptr;
    if (!end) {
        return;
    }
    if (kind == "DATA") {
        Receive(*local, name, *end, message.Argument(3));
    } else if (kind == "READ") {
        std::size_t const bytes = std::strtoull(message.Argument(3).c_str(), nullptr, 10);
        end->peerUnread -= std::min(bytes, end->peerUnread);
    } else if (kind == "DATAGRAM") {
        Notify(*local, "APPLICATION " + name + " DATAGRAM " + end->Designator() + " " + message.Argument(3));
    } else {
        local->applications[name].streams.erase(end->id);
        NotifyStreams(*local, name);
        ReportSending(*local, name, Clock::now());
    }
}

std::string SimNetwork::Designators(SimApplication const& application) {
    std::string list;
    for (auto const& entry : application.streams) {
        AppendItem(list, entry.second.Designator());
    }
    return list;
}

std::string SimNetwork::SendingList(SimApplication const& application, bool withCounts) {
    std::string list;
    for (auto const& entry : application.streams) {
        if (entry.second.pendingBytes > 0) {
            AppendItem(list,
                       entry.second.Designator() +
                           (withCounts ? "=" + std::to_string(entry.second.pendingBytes) : std::string()));
        }
    }
    return list;
}

void SimNetwork::NotifyStreams(SimAccount& account, std::string const& name) {
    std::string list = Designators(account.applications[name]);
    Notify(account, "APPLICATION " + name + " STREAMS" + (list.empty() ? "" : " " + list));
}

void SimNetwork::NotifyReceived(SimAccount& account, std::string const& name) {
    std::string list;
    for (auto const& entry : account.applications[name].streams) {
        if (!entry.second.unread.empty()) {
            AppendItem(list, entry.second.Designator() + "=" + std::to_string(entry.second.unreadBytes));
        }
    }
    Notify(account, "APPLICATION " + name + " RECEIVED " + list);
}

// A drained stream is left out of the list (an empty list when none is sending).
void SimNetwork::ReportSending(SimAccount& account, std::string const& name, Clock::time_point now) {
    auto it = account.applications.find(name);
    if (it == account.applications.end()) {
        return;
    }
    SimApplication& application = it->second;
    std::string list = SendingList(application, true);
    if (list == application.lastSending) {
        return;
    }
    std::string streams = SendingList(application, false);
    if (streams == application.lastSendingStreams && now - application.lastSendingTime < kSendingInterval) {
        return;
    }
    application.lastSending = list;
    application.lastSendingStreams = streams;
    application.lastSendingTime = now;
    Notify(account, "APPLICATION " + name + " SENDING" + (list.empty() ? "" : " " + list));
}

}  // namespace skypesim
