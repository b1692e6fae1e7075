#include "skype/ISkypeClient.h"

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "skype/SkypeCommand.h"

namespace {

constexpr unsigned kCommandTimeoutMs = 1000;
constexpr std::size_t kFriendsPrefixLength = 6;  // "USERS "
char const kTrimmed[] = " \r\t\n";

struct StatusWord {
    char const* word;
    ISkypeClient::UserStatus status;
};

StatusWord const kStatusWords[] = {
    {"OFFLINE", ISkypeClient::UserOffline},
    {"ONLINE", ISkypeClient::UserOnline},
    {"AWAY", ISkypeClient::UserAway},
    {"NOTAVAILABLE", ISkypeClient::UserNotAvailable},
    {"DONOTDISTURB", ISkypeClient::UserDoNotDisturb},
    {"INVISIBLE", ISkypeClient::UserInvisible},
    {"LOGGEDOUT", ISkypeClient::UserLoggedOut},
};

// "user:id", split at the first colon.
ISkypeEvents::Stream SplitDesignator(std::string const& designator) {
    std::size_t colon = designator.find(':');
    if (colon == std::string::npos) {
        Raise(SkypeError("Invalid name/id pair: " + designator));
    }
    return {designator.substr(0, colon), designator.substr(colon + 1)};
}

// "user:id=size": the stream, and the text after the "=" when there is one.
struct StreamItem {
    ISkypeEvents::Stream stream;
    bool hasSize = false;
    std::string size;
};

StreamItem SplitStreamItem(std::string const& item) {
    StreamItem result;
    result.stream = SplitDesignator(item);
    std::string& id = result.stream.second;
    std::size_t equals = id.find('=');
    if (equals != std::string::npos) {
        result.hasSize = true;
        result.size = id.substr(equals + 1);
        id.erase(equals);
    }
    return result;
}

std::vector<std::string> Words(char const* text) {
    std::vector<std::string> words;
    StringHelper::Split(text, words, " ");
    return words;
}

ISkypeEvents::StreamList ParseStreams(char const* value) {
    ISkypeEvents::StreamList streams;
    for (std::string const& word : Words(value)) {
        streams.push_back(SplitDesignator(word));
    }
    return streams;
}

ISkypeEvents::StreamList ParseReceived(char const* value) {
    ISkypeEvents::StreamList streams;
    for (std::string const& word : Words(value)) {
        StreamItem item = SplitStreamItem(word);
        if (!item.hasSize) {
            Raise(SkypeError("Invalid name/id pair: " + item.stream.second));
        }
        streams.push_back(item.stream);
    }
    return streams;
}

std::vector<ISkypeEvents::AppSendingData> ParseSending(char const* value) {
    std::vector<ISkypeEvents::AppSendingData> items;
    for (std::string const& word : Words(value)) {
        StreamItem item = SplitStreamItem(word);
        items.push_back({item.stream.first, item.stream.second, StringHelper::ToInt(item.size.c_str())});
    }
    return items;
}

void RaiseDatagram(ISkypeEvents& events, std::string const& name, char const* value) {
    std::vector<std::string> designator;
    char const* data = StringHelper::GetParts(value, 1, designator, ' ');
    ISkypeEvents::Stream stream = SplitDesignator(designator[0]);
    events.OnAppDatagram(name, {stream.first, stream.second, data});
}

// One "APPLICATION name property value" notification; unknown properties are ignored.
void RaiseApplicationEvent(ISkypeEvents& events, std::string const& name, std::string const& property,
                           char const* value) {
    if (property == "DATAGRAM") {
        RaiseDatagram(events, name, value);
    } else if (property == "STREAMS") {
        events.OnAppStreams(name, ParseStreams(value));
    } else if (property == "RECEIVED") {
        events.OnAppReceived(name, ParseReceived(value));
    } else if (property == "SENDING") {
        events.OnAppSending(name, ParseSending(value));
    }
}

}  // namespace

std::string ISkypeClient::SendCommand(std::string const& command, bool strip) {
    SkypeCommand skypeCommand(command, kCommandTimeoutMs);
    Send(skypeCommand);
    std::string reply = skypeCommand.GetReply();
    if (strip && reply.size() >= command.size()) {
        reply = StringHelper::Trim(reply.substr(command.size()), kTrimmed);
    }
    return reply;
}

void ISkypeClient::Send(std::string const& command, std::string const& expected, int timeout) {
    SkypeCommand skypeCommand(command, timeout > 0 ? static_cast<unsigned>(timeout) : 0);
    Send(skypeCommand);
    if (skypeCommand.GetReply() != expected) {
        Raise(SkypeError("Unexpected response"));
    }
}

void ISkypeClient::GetFriends(std::vector<std::string>& friends) {
    std::string reply = SendCommand("SEARCH FRIENDS", false);
    std::string list =
        reply.size() > kFriendsPrefixLength ? reply.substr(kFriendsPrefixLength) : std::string();
    StringHelper::SplitString(list, ", ", friends, false);
}

ISkypeClient::UserStatus ISkypeClient::ParseUserStatus(std::string const& word) {
    for (StatusWord const& entry : kStatusWords) {
        if (word == entry.word) {
            return entry.status;
        }
    }
    return UserUnknown;
}

void ISkypeClient::ProcessSkypeResponse(std::string const& text) {
    if (text == "attach") {
        OnAttach(*this);
        return;
    }
    if (text == "currentuser") {
        OnCurrentUser(GetCurrentUser());
        return;
    }
    std::vector<std::string> type;
    char const* rest = StringHelper::GetParts(text.c_str(), 1, type, ' ');
    if (type[0] == "CURRENTUSERHANDLE") {
        DoCurrentUser(rest);
        return;
    }
    if (type[0] == "CONNSTATUS") {
        DoConnectionStatus(rest);
        return;
    }
    if (type[0] != "APPLICATION" && type[0] != "USER") {
        return;
    }
    std::vector<std::string> words;  // the object's name and the property
    char const* value = StringHelper::GetParts(rest, 2, words, ' ');
    if (!value) {
        CORVANE_LOG("Invalid property data from Skype: " << text);
        return;
    }
    std::string const& property = words[1];
    if (*value == '\0' && property != "STREAMS" && property != "SENDING") {
        return;
    }
    if (type[0] == "APPLICATION") {
        RaiseApplicationEvent(*this, words[0], property, value);
    } else if (property == "ONLINESTATUS") {
        OnUserStatus(words[0], ParseUserStatus(value));
    }
}
