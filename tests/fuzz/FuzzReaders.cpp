#include "Fuzz.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <sstream>

#include "codec/ScreenDecoder.h"
#include "codec/ScreenEncoder.h"
#include "foundation/Errors.h"
#include "network/ChunkNetworkTransport.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
#include "network/NetworkProtocol.h"
#include "network/SkypeCoder.h"
#include "network/TextNetworkTransport.h"
#include "skype/ISkypeClient.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

std::size_t Below(std::mt19937& random, std::size_t bound) {
    return bound == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
}

template <class T, std::size_t N>
T const& Pick(std::mt19937& random, T const (&items)[N]) {
    return items[Below(random, N)];
}

std::string RandomBytes(std::mt19937& random, std::size_t maxLength) {
    std::string bytes(Below(random, maxLength + 1), '\0');
    bool plain = Below(random, 2) == 0;  // text compresses, noise does not
    for (char& c : bytes) {
        c = static_cast<char>(plain ? 'a' + Below(random, 4) : Below(random, 256));
    }
    return bytes;
}

// Characters that mean something to some reader.
char const kSpecial[] = ":,*\\0 \x01=/#x-9\x80\xff";
char const* const kNumbers[] = {
    "0",         "-1",   "1",    "2147483647", "2147483648",  "4294967295",          "4294967296",
    "268435456", "8260", "8261", "65000",      "-2147483648", "99999999999999999999"};

void ReplaceNumber(std::string& text, std::mt19937& random) {
    std::size_t at = text.find_first_of("0123456789", Below(random, text.size() + 1));
    if (at == std::string::npos) {
        return;
    }
    std::size_t end = text.find_first_not_of("0123456789", at);
    text.replace(at, end == std::string::npos ? std::string::npos : end - at, Pick(random, kNumbers));
}

void EditOnce(std::string& text, std::mt19937& random) {
    std::size_t at = Below(random, text.size() + 1);
    switch (Below(random, 6)) {
        case 0:
            if (at < text.size()) {
                text[at] = static_cast<char>(Below(random, 255) + 1);
            }
            break;
        case 1:
            text.insert(at, 1, kSpecial[Below(random, sizeof(kSpecial) - 1)]);
            break;
        case 2:
            text.erase(at, Below(random, 8) + 1);
            break;
        case 3:
            text.insert(at, text.substr(at, Below(random, 16) + 1));
            break;
        case 4:
            text.resize(at);
            break;
        default:
            ReplaceNumber(text, random);
            break;
    }
}

// --- frames, through the endpoint's receiving path

class DeliveringTransport : public TextNetworkTransport {
public:
    void Send(std::string const&) override {}
    void Deliver(char const* text) { OnTextReceived(text, 1); }
};

// A valid payload of each kind, after its message id and a blank.
char const* const kControlPayloads[] = {"1 RQ:800/600/16/1/50/1",
                                        "4 1024/768/24/0/75/0:1:0",
                                        "7 512,1,-3",
                                        "10 xxxxxxxx:1",
                                        "11 host\x01user",
                                        "13 RQ",
                                        "13 1280x1024",
                                        "14 ",
                                        "15 ",
                                        "16 100:200"};

// The payload damaged alone, or the whole frame.
std::string GenerateFrame(std::mt19937& random) {
    char const* const control = Pick(random, kControlPayloads);
    std::string payload = std::strchr(control, ' ') + 1;
    bool const payloadOnly = Below(random, 2);
    if (payloadOnly) {
        Mutate(payload, random);
    }
    std::string frame = NetworkMessage::ToString(std::atoi(control), payload);
    if (!payloadOnly) {
        Mutate(frame, random);
    }
    return frame;
}

void ReadFrame(std::string const& input) {
    DeliveringTransport transport;
    NetworkProtocol protocol(&transport);
    NetworkVisitor visitor;
    protocol.RegisterVisitor(&visitor);
    transport.Deliver(input.c_str());
}

// --- the clipboard payload: "size:" + compressed, escape-coded bytes

std::string GenerateClipboard(std::mt19937& random) {
    std::string bytes = RandomBytes(random, 3000);
    std::string packed = CompressAndEncode(bytes.data(), static_cast<unsigned int>(bytes.size()));
    std::string size =
        Below(random, 3) ? std::to_string(bytes.size() + Below(random, 3) - 1) : Pick(random, kNumbers);
    std::string payload = size + ":" + packed;
    if (Below(random, 2)) {
        Mutate(payload, random);
    }
    return payload;
}

void ReadClipboard(std::string const& input) {
    std::unique_ptr<NetworkMessage> message(
        NetworkMessage::ParseFactory(ClipboardNetMsg::mId, input.c_str()));
}

// --- the screen change message: a real sender's payload, sometimes damaged

// A small change packet of one or two rectangles inside a 24 x 16 frame, at `bytesPerPixel`.
std::string RandomChangePacket(std::mt19937& random, int bytesPerPixel) {
    std::string packet(4, '\0');
    std::uint32_t const count = 1 + static_cast<std::uint32_t>(Below(random, 2));
    packet[0] = static_cast<char>(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t const left = static_cast<std::uint16_t>(Below(random, 12));
        std::uint16_t const top = static_cast<std::uint16_t>(Below(random, 8));
        std::uint16_t const edges[] = {left, top, static_cast<std::uint16_t>(left + 1 + Below(random, 12)),
                                       static_cast<std::uint16_t>(top + 1 + Below(random, 8))};
        for (std::uint16_t edge : edges) {
            packet.push_back(static_cast<char>(edge & 0xFF));
            packet.push_back(static_cast<char>(edge >> 8));
        }
        std::size_t const pixels = std::size_t(edges[2] - edges[0]) * (edges[3] - edges[1]);
        packet += std::string(pixels * bytesPerPixel, static_cast<char>(Below(random, 256)));
    }
    return packet;
}

std::string GenerateScreenChange(std::mt19937& random) {
    int const depths[] = {1, 4, 8, 16, 24};
    int const depth = Pick(random, depths);
    std::string const packet = RandomChangePacket(random, depth <= 4 ? 3 : depth / 8);
    ScreenChangeNetMsg const message =
        ScreenEncoder::Encode(packet.data(), static_cast<unsigned long>(packet.size()), tagSIZE{24, 16}, 40,
                              {static_cast<unsigned char>(depth), Below(random, 2) == 0, 75});
    std::string payload = message.GetData();
    if (Below(random, 4)) {
        Mutate(payload, random);
    }
    return payload;
}

// Read as the endpoint does, then decoded as the viewer does.
void ReadScreenChange(std::string const& input) {
    std::unique_ptr<NetworkMessage> message(
        NetworkMessage::ParseFactory(ScreenChangeNetMsg::mId, input.c_str()));
    ScreenDecoder::Decode(static_cast<ScreenChangeNetMsg const&>(*message));
}

// --- chunks and reassembly: several frames, one per line, into one transport

class ReceivingTransport : public ChunkNetworkTransport {
public:
    void Receive(char const* frame) { OnReceiveChunk(frame); }

protected:
    void SendChunk(std::string const&) override {}
};

std::string GenerateChunks(std::mt19937& random) {
    std::string frames;
    std::size_t count = Below(random, 6) + 1;
    int sequence = static_cast<int>(Below(random, 4));
    for (std::size_t part = 1; part <= count + 1; ++part) {
        std::string chunk = std::to_string(sequence) + ":" + std::to_string(Below(random, count + 2)) + ":" +
                            std::to_string(count) + ":" + RandomBytes(random, 40);
        if (Below(random, 3) == 0) {
            Mutate(chunk, random);
        }
        std::string frame = NetworkMessage::ToString(ChunkNetworkTransport::kChunkId, chunk);
        if (Below(random, 8) == 0) {
            Mutate(frame, random);
        }
        frames += frame + '\n';
    }
    return frames;
}

// A bad chunk does not end the stream; the last refusal is raised once all frames are in.
void ReadChunks(std::string const& input) {
    ReceivingTransport transport;
    std::exception_ptr refusal;
    std::istringstream frames(input);
    for (std::string frame; std::getline(frames, frame);) {
        try {
            transport.Receive(frame.c_str());
        } catch (NetworkError const&) {
            refusal = std::current_exception();
        }
    }
    if (refusal) {
        std::rethrow_exception(refusal);
    }
}

// --- messenger notifications

class NotificationReader : public ISkypeClient {
public:
    void Read(std::string const& text) { ProcessSkypeResponse(text); }
    void Send(std::string const&) override {}
    void Send(SkypeCommand&) override {}
    void Attach() override {}
    AttachStatus GetAttachStatus() override { return AttachSuccess; }
    UserInfo GetUserInfo(std::string const&, bool) override { return UserInfo(); }
    std::string GetCurrentUser() const override { return "me"; }
};

char const* const kNotifications[] = {"APPLICATION corvane STREAMS alice:1 bob:3",
                                      "APPLICATION corvane RECEIVED alice:2=120 bob:1=5",
                                      "APPLICATION corvane SENDING alice:1=0 bob:2=4000",
                                      "APPLICATION corvane DATAGRAM alice:2 hello world",
                                      "USER alice ONLINESTATUS AWAY",
                                      "CONNSTATUS ONLINE",
                                      "CURRENTUSERHANDLE alice",
                                      "APPLICATION corvane CONNECTING alice",
                                      "attach",
                                      "currentuser"};

std::string GenerateNotification(std::mt19937& random) {
    std::string text = Pick(random, kNotifications);
    Mutate(text, random);
    return text;
}

void ReadNotification(std::string const& input) {
    NotificationReader client;
    client.Read(input);
}

}  // namespace

void Mutate(std::string& text, std::mt19937& random) {
    for (std::size_t edits = Below(random, 4) + 1; edits > 0; --edits) {
        EditOnce(text, random);
    }
}

std::vector<FuzzReader> const& FuzzReaders() {
    static std::vector<FuzzReader> const readers = {
        {"frames and control payloads", &GenerateFrame, &ReadFrame, 1 * kMiB, 300000},
        {"clipboard payload", &GenerateClipboard, &ReadClipboard, 16 * kMiB, 15000},
        {"screen change", &GenerateScreenChange, &ReadScreenChange, 1 * kMiB, 3000},
        {"chunks and reassembly", &GenerateChunks, &ReadChunks, 1 * kMiB, 50000},
        {"messenger notifications", &GenerateNotification, &ReadNotification, 1 * kMiB, 150000},
    };
    return readers;
}
