#include "PeerChannel.h"

#include <zlib.h>

#include <cstdio>

#include "network/ControlMessages.h"

namespace {
std::string Checksum(unsigned char const* bytes, std::size_t size) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08lx", crc32(0L, bytes, static_cast<uInt>(size)));
    return text;
}
}  // namespace

PeerChannel::PeerChannel(SkypeApplication& application, std::string const& contact, PeerOutput& output)
    : mApplication(application),
      mContact(contact),
      mOutput(output),
      mTransport(&application, contact),
      mProtocol(&mTransport),
      mDatagramTransport(application, contact),
      mDatagramProtocol(&mDatagramTransport) {
    mProtocol.RegisterVisitor(this);
}

PeerChannel::~PeerChannel() {
    mProtocol.UnregisterVisitor(this);
}

std::string PeerChannel::Where() const {
    return " from " + mContact + " on " + mApplication.GetName();
}

void PeerChannel::SendPing(std::string const& text) {
    {
        std::lock_guard<std::mutex> lock(mTimersLock);
        mPingTimer.StartTimer();
    }
    mProtocol.Send(TestConnectNetMsg(text.c_str(), false));
}

void PeerChannel::SendDatagramPing(std::string const& text) {
    {
        std::lock_guard<std::mutex> lock(mTimersLock);
        mPingTimer.StartTimer();
    }
    mDatagramProtocol.Send(TestConnectNetMsg(text.c_str(), false));
}

void PeerChannel::SendClipboard(std::vector<unsigned char> const& bytes) {
    ClipboardNetMsg message(bytes);
    {
        std::lock_guard<std::mutex> lock(mTimersLock);
        mClipboardTimer.StartTimer();
    }
    mProtocol.Send(message);
    mOutput.Say("sent clipboard " + std::to_string(bytes.size()) + " bytes crc32 " +
                Checksum(bytes.data(), bytes.size()) + " to " + mContact + " on " + mApplication.GetName() +
                " as " + std::to_string(message.ToString().size()) + " characters");
}

std::string PeerChannel::Counters() const {
    return mApplication.GetName() + " sent " + std::to_string(mProtocol.GetSendFps().GetTotal()) +
           " characters, received " + std::to_string(mProtocol.GetReceiveFps().GetTotal());
}

void PeerChannel::Handle(TestConnectNetMsg const& message) {
    if (!message.IsResponse()) {
        mOutput.Say("received ping " + PeerOutput::Quote(message.GetData()) + Where());
        mProtocol.Send(TestConnectNetMsg(message.GetData().c_str(), true));
        return;
    }
    int ms = 0;
    {
        std::lock_guard<std::mutex> lock(mTimersLock);
        ms = mPingTimer.GetTimeInMs();
    }
    mOutput.Say("received pong " + PeerOutput::Quote(message.GetData()) + Where() + " after " +
                std::to_string(ms) + " ms");
}

void PeerChannel::Handle(DiscoveryNetMsg const& message) {
    DiscoveryInfo info = message.GetDiscoveryInfo();
    mOutput.Say("received discovery" + Where() + ": user " + PeerOutput::Quote(info.userName) +
                " on computer " + PeerOutput::Quote(info.computerName));
}

void PeerChannel::Handle(ClipboardNetMsg const& message) {
    unsigned char const* bytes = message.GetClipboardData();
    std::size_t size = message.GetClipboardDataSize();
    std::string text(reinterpret_cast<char const*>(bytes), size);
    mOutput.Say("received clipboard " + std::to_string(size) + " bytes crc32 " + Checksum(bytes, size) +
                Where() + ": " + PeerOutput::Quote(text, 40));
    mProtocol.Send(ClipboardAcknowledgeNetMsg());
}

void PeerChannel::Handle(ClipboardAcknowledgeNetMsg const&) {
    int ms = 0;
    {
        std::lock_guard<std::mutex> lock(mTimersLock);
        ms = mClipboardTimer.GetTimeInMs();
    }
    mOutput.Say("clipboard acknowledged" + Where() + " after " + std::to_string(ms) + " ms");
}
