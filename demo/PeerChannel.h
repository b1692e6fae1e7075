#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "PeerOutput.h"
#include "foundation/Timer.h"
#include "network/ChunkNetworkTransport.h"
#include "network/NetworkProtocol.h"
#include "network/NetworkVisitor.h"
#include "network/SkypeReliableNetworkTransport.h"
#include "skype/SkypeApplication.h"

// One application's stream to one contact, as a session would hold it: the chunked transport,
// the protocol endpoint, and a visitor that prints what arrives and answers what a peer
// answers (a ping with its reply, a clipboard with its acknowledgement). Sends may come from
// any thread; received messages arrive on the client's "SkypeEvent" thread.
class PeerChannel : public NetworkVisitor {
public:
    // `application` and `output` are not owned and must outlive the channel.
    PeerChannel(SkypeApplication& application, std::string const& contact, PeerOutput& output);
    ~PeerChannel() override;
    PeerChannel(PeerChannel const&) = delete;
    PeerChannel& operator=(PeerChannel const&) = delete;

    NetworkProtocol& Protocol() { return mProtocol; }
    void SendPing(std::string const& text);
    // The same ping as a datagram: its chunk frame goes through the application's DATAGRAM.
    void SendDatagramPing(std::string const& text);
    // Clipboard contents; prints their size and checksum, and the time until acknowledged.
    void SendClipboard(std::vector<unsigned char> const& bytes);
    std::string Counters() const;

    void Handle(TestConnectNetMsg const& message) override;
    void Handle(DiscoveryNetMsg const& message) override;
    void Handle(ClipboardNetMsg const& message) override;
    void Handle(ClipboardAcknowledgeNetMsg const& message) override;

private:
    // Chunk frames sent as datagrams of the application.
    class DatagramTransport : public ChunkNetworkTransport {
    public:
        DatagramTransport(SkypeApplication& application, std::string const& contact)
            : mApplication(application), mContact(contact) {}

    protected:
        void SendChunk(std::string const& frame) override { mApplication.SendDatagram(mContact, frame); }

    private:
        SkypeApplication& mApplication;
        std::string mContact;
    };

    std::string Where() const;

    SkypeApplication& mApplication;
    std::string mContact;
    PeerOutput& mOutput;
    SkypeReliableNetworkTransport mTransport;
    NetworkProtocol mProtocol;
    DatagramTransport mDatagramTransport;
    NetworkProtocol mDatagramProtocol;
    std::mutex mTimersLock;
    Timer mPingTimer;       // since the last ping went
    Timer mClipboardTimer;  // since the last clipboard went
};
