#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <random>
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

// A reader of peer or messenger input, with a generator of inputs for it (valid ones, damaged).
struct FuzzReader {
    char const* name;
    std::string (*generate)(std::mt19937& random);
    void (*read)(std::string const& input);  // as the library reads it
    std::size_t maxAllocation;               // the most bytes one input may make it allocate at once
    std::uint64_t testInputs;                // a second or two under Wine
};

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
    if (at != std::string::npos) {  // a count past the end takes the rest
        text.replace(at, text.find_first_not_of("0123456789", at) - at, Pick(random, kNumbers));
    }
}

void EditOnce(std::string& text, std::mt19937& random) {
    std::size_t at = Below(random, text.size() + 1);
    switch (Below(random, 5)) {
        case 0:
            text.replace(at, 1, 1, static_cast<char>(Below(random, 255) + 1));
            break;
        case 1:
            text.insert(at, 1, kSpecial[Below(random, sizeof(kSpecial) - 1)]);
            break;
        case 2:  // or cut the end
            text.erase(at, Below(random, 2) ? Below(random, 8) + 1 : std::string::npos);
            break;
        case 3:
            text.insert(at, text.substr(at, Below(random, 16) + 1));
            break;
        default:
            ReplaceNumber(text, random);
    }
}

// One time in `oneIn`, one to four random edits: changed, inserted, removed or repeated
// characters, cut ends, and numbers replaced by extreme ones.
void Mutate(std::string& text, std::mt19937& random, std::size_t oneIn = 1) {
    for (std::size_t edits = Below(random, oneIn) == 0 ? Below(random, 4) + 1 : 0; edits > 0; --edits) {
        EditOnce(text, random);
    }
}

struct DeliveringTransport : TextNetworkTransport {
    void Send(std::string const&) override {}
    void Deliver(char const* text) { OnTextReceived(text, 1); }
};

// Frames through the endpoint: a valid payload of each kind, after its message id and a blank.
char const* const kControlPayloads[] = {"1 RQ:800/600/16/1/50/1",
                                        "4 1024/768/24/0/75/0:1:0",
                                        "7 512,1,-3",
                                        "10 xxxxxxxx:1",
                                        "11 host\x01user",
                                        "13 RQ",
                                        "13 1280x1024",
                                        "16 100:200"};

std::string GenerateFrame(std::mt19937& random) {
    char const* const control = Pick(random, kControlPayloads);
    std::string payload = std::strchr(control, ' ') + 1;
    Mutate(payload, random, 2);
    std::string frame = NetworkMessage::ToString(std::atoi(control), payload);
    Mutate(frame, random, 2);
    return frame;
}

void ReadFrame(std::string const& input) {
    DeliveringTransport transport;
    NetworkProtocol protocol(&transport);
    NetworkVisitor visitor;
    protocol.RegisterVisitor(&visitor);
    transport.Deliver(input.c_str());
}

// The clipboard payload: "size:" + compressed, escape-coded bytes.
std::string GenerateClipboard(std::mt19937& random) {
    std::string bytes = RandomBytes(random, 3000);
    std::string packed = CompressAndEncode(bytes.data(), static_cast<unsigned int>(bytes.size()));
    std::string size =
        Below(random, 3) ? std::to_string(bytes.size() + Below(random, 3) - 1) : Pick(random, kNumbers);
    std::string payload = size + ":" + packed;
    Mutate(payload, random, 2);
    return payload;
}

void ReadClipboard(std::string const& input) {
    delete NetworkMessage::ParseFactory(ClipboardNetMsg::mId, input.c_str());
}

// A small change packet of one or two rectangles inside a 24 x 16 frame, at `bytesPerPixel`.
std::string RandomChangePacket(std::mt19937& random, int bytesPerPixel) {
    std::size_t const count = 1 + Below(random, 2);
    std::string packet = {static_cast<char>(count), 0, 0, 0};
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t const left = Below(random, 12), top = Below(random, 8);
        std::size_t const right = left + 1 + Below(random, 12), bottom = top + 1 + Below(random, 8);
        for (std::size_t edge : {left, top, right, bottom}) {
            packet += {static_cast<char>(edge), '\0'};  // 16 bits, little-endian
        }
        packet += std::string((right - left) * (bottom - top) * bytesPerPixel,
                              static_cast<char>(Below(random, 256)));
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
    Mutate(payload, random, 2);
    return payload;
}

// Read as the endpoint does, then decoded as the viewer does.
void ReadScreenChange(std::string const& input) {
    std::unique_ptr<NetworkMessage> message(
        NetworkMessage::ParseFactory(ScreenChangeNetMsg::mId, input.c_str()));
    ScreenDecoder::Decode(static_cast<ScreenChangeNetMsg const&>(*message));
}

// Chunks and reassembly: several frames, one per line, into one transport.
struct ReceivingTransport : ChunkNetworkTransport {
    void Receive(char const* frame) { OnReceiveChunk(frame); }
    void SendChunk(std::string const&) override {}
};

std::string GenerateChunks(std::mt19937& random) {
    std::string frames;
    std::size_t count = Below(random, 6) + 1;
    int sequence = static_cast<int>(Below(random, 4));
    for (std::size_t part = 1; part <= count + 1; ++part) {
        std::string chunk = std::to_string(sequence) + ":" + std::to_string(Below(random, count + 2)) + ":" +
                            std::to_string(count) + ":" + RandomBytes(random, 40);
        Mutate(chunk, random, 3);
        std::string frame = NetworkMessage::ToString(ChunkNetworkTransport::kChunkId, chunk);
        Mutate(frame, random, 8);
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

struct NotificationReader : ISkypeClient {
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
                                      "CURRENTUSERHANDLE alice"};

std::string GenerateNotification(std::mt19937& random) {
    std::string text = Pick(random, kNotifications);
    Mutate(text, random);
    return text;
}

void ReadNotification(std::string const& input) {
    NotificationReader().Read(input);
}

FuzzReader const kReaders[] = {
    {"frames and control payloads", &GenerateFrame, &ReadFrame, 1 * kMiB, 300000},
    {"clipboard payload", &GenerateClipboard, &ReadClipboard, 16 * kMiB, 15000},
    {"screen change", &GenerateScreenChange, &ReadScreenChange, 1 * kMiB, 3000},
    {"chunks and reassembly", &GenerateChunks, &ReadChunks, 1 * kMiB, 50000},
    {"messenger notifications", &GenerateNotification, &ReadNotification, 1 * kMiB, 150000},
};

// The program's operator new and delete count the bytes they hand out (the array forms come here
// too); each block carries its size in front, so that delete knows what it gives back.
std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};
constexpr std::size_t kHeader = 16;

void* Allocate(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    std::size_t live = gLive.fetch_add(size) + size;
    std::size_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void Release(void* pointer) {
    if (pointer) {
        char* block = static_cast<char*>(pointer) - kHeader;
        gLive.fetch_sub(*reinterpret_cast<std::size_t*>(block));
        std::free(block);
    }
}

// What one input did wrong: a foreign exception, or more allocated than the bound; "" if nothing.
std::string Fault(FuzzReader const& reader, std::string const& input, int& accepted, int& refused) {
    std::size_t const base = gLive.load();
    gPeak = base;
    std::string fault;
    try {
        reader.read(input);
        ++accepted;
    } catch (BaseError const&) {
        ++refused;
    } catch (std::exception const& error) {
        fault = std::string("foreign exception \"") + error.what() + "\"";
    } catch (...) {
        fault = "unknown exception";
    }
    std::size_t const allocated = gPeak.load() - base;
    return allocated > reader.maxAllocation ? "allocated " + std::to_string(allocated) + " bytes" : fault;
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void operator delete(void* pointer) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    Release(pointer);
}

// Only the library's own errors come out of a reader, and no input allocates beyond its bound.
// scripts/fuzz sets CORVANE_FUZZ_INPUTS (per reader) and CORVANE_FUZZ_SEED for a longer run.
TEST(FuzzTest, ReadersRaiseOnlyTheirOwnErrorsAndAllocateWithinBounds) {
    char const* inputs = std::getenv("CORVANE_FUZZ_INPUTS");
    char const* seed = std::getenv("CORVANE_FUZZ_SEED");
    for (FuzzReader const& reader : kReaders) {
        SCOPED_TRACE(reader.name);
        std::mt19937 random(seed ? std::strtoul(seed, nullptr, 10) : std::hash<std::string>()(reader.name));
        std::uint64_t const count = inputs ? std::strtoull(inputs, nullptr, 10) : reader.testInputs;
        int accepted = 0, refused = 0, faults = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::string const input = reader.generate(random);
            std::string const fault = Fault(reader, input, accepted, refused);
            if (!fault.empty() && ++faults <= 5) {
                ADD_FAILURE() << fault << " on input " << ::testing::PrintToString(input.substr(0, 120));
            }
        }
        std::cout << reader.name << ": " << count << " inputs, " << accepted << " accepted, " << refused
                  << " refused, " << faults << " faults" << std::endl;
        EXPECT_GT(accepted, 0);
        EXPECT_GT(refused, 0);
    }
}
