#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace skypesim {

// One message between two linked simulators: a kind word and its fields. On the socket a
// message is a frame: the payload's length (u32, little-endian), then the payload, which is
// every field (the kind first) as its length (u32, little-endian) and its bytes.
class LinkMessage {
public:
    // The largest payload accepted: the largest text plus room for the names around it.
    static constexpr std::size_t kMaxPayload = 64 * 1024 * 1024 + 64 * 1024;
    static constexpr std::size_t kLengthBytes = 4;

    LinkMessage() = default;
    LinkMessage(std::vector<std::string> fields) : mFields(std::move(fields)) {}

    std::string const& Kind() const;
    // The fields after the kind.
    std::size_t ArgumentCount() const { return mFields.empty() ? 0 : mFields.size() - 1; }
    std::string const& Argument(std::size_t index) const { return mFields.at(index + 1); }

    // The whole frame, length prefix included.
    std::string Encode() const;
    // Reads a payload; nothing, with `error` set, when its fields do not fill it exactly.
    static std::optional<LinkMessage> Decode(std::string const& payload, std::string& error);
    // Reads a little-endian u32 from 4 bytes.
    static std::uint32_t ReadLength(unsigned char const* bytes);
    static void AppendLength(std::string& out, std::size_t length);

    // What is wrong with a decoded message of this protocol (an unknown kind, the wrong
    // number of fields); empty when it is well formed.
    std::string Check() const;

private:
    std::vector<std::string> mFields;
};

}  // namespace skypesim
