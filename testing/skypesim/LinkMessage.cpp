#include "skypesim/LinkMessage.h"

#include <map>

namespace skypesim {

namespace {
// Every kind the link speaks and the number of fields after it.
std::map<std::string, std::size_t> const& Kinds() {
    static std::map<std::string, std::size_t> const kinds = {
        {"HELLO", 1},     // protocol version
        {"ACCOUNT", 4},   // handle, full name, status word, friends joined by ","
        {"READY", 0},     // every account has been told
        {"CONNECT", 3},   // application, from (the sender's account), to
        {"OPENED", 3},    // application, from, to: the sender's end of the stream exists
        {"DATA", 4},      // application, from, to, text: one packet drained at the sender
        {"READ", 4},      // application, from, to, bytes: a packet of that size was read
        {"DATAGRAM", 4},  // application, from, to, text
        {"CLOSE", 3},     // application, from, to
    };
    return kinds;
}

std::string const kNoKind;
}  // namespace

std::string const& LinkMessage::Kind() const {
    return mFields.empty() ? kNoKind : mFields.front();
}

std::uint32_t LinkMessage::ReadLength(unsigned char const* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void LinkMessage::AppendLength(std::string& out, std::size_t length) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((length >> shift) & 0xff);
    }
}

std::string LinkMessage::Encode() const {
    std::size_t payload = 0;
    for (std::string const& field : mFields) {
        payload += kLengthBytes + field.size();
    }
    std::string frame;
    frame.reserve(kLengthBytes + payload);
    AppendLength(frame, payload);
    for (std::string const& field : mFields) {
        AppendLength(frame, field.size());
        frame += field;
    }
    return frame;
}

std::optional<LinkMessage> LinkMessage::Decode(std::string const& payload, std::string& error) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < payload.size()) {
        if (payload.size() - at < kLengthBytes) {
            error = "a field length is cut off";
            return std::nullopt;
        }
        std::size_t length = ReadLength(reinterpret_cast<unsigned char const*>(payload.data() + at));
        at += kLengthBytes;
        if (length > payload.size() - at) {
            error = "a field runs past the end of its message";
            return std::nullopt;
        }
        fields.emplace_back(payload, at, length);
        at += length;
    }
    return LinkMessage(std::move(fields));
}

std::string LinkMessage::Check() const {
    auto kind = Kinds().find(Kind());
    if (kind == Kinds().end()) {
        return "unknown kind \"" + Kind().substr(0, 40) + "\"";
    }
    if (ArgumentCount() != kind->second) {
        return Kind() + " with " + std::to_string(ArgumentCount()) + " fields instead of " +
               std::to_string(kind->second);
    }
    return std::string();
}

}  // namespace skypesim
