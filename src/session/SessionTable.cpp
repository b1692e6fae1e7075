#include "session/SessionTable.h"

#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
#include "network/NetworkVisitor.h"
#include "network/ScreenChangeNetMsg.h"

namespace {

using State = SessionTable::State;
using Peer = SessionTable::Peer;
using Next = SessionTable::Next;

constexpr Next _ = Next::Ignored;
constexpr Next S = Next::Stays;
constexpr Next A = Next::Available;
constexpr Next RC = Next::RequestConfirmation;
constexpr Next SC = Next::SharingConfirmation;
constexpr Next D = Next::Displaying;
constexpr Next T = Next::Tracking;

constexpr int kStates = static_cast<int>(State::Count);
constexpr int kMessages = static_cast<int>(Peer::Count);

// Rows follow State, columns follow Peer. Available answers a resolution reply only when our
// user asked for the size (then his request goes out and the session waits); Tracking
// restarts its capture at the quality of any offer message, the viewer's choice.
constexpr Next kTable[kStates][kMessages] = {
    //         Disc Req  OK   ST   Oth  Offr OAcc OWdr RQry RRep Test TAns Scrn Mous Inpt Clip CReq CAck
    /* Initial     */ {A, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _},
    /* Available   */ {_, RC, _, _, _, SC, _, _, S, S, S, S, _, _, _, _, _, _},
    /* Wait request*/ {_, _, D, A, _, A, _, A, _, _, _, _, _, _, _, _, _, _},
    /* Wait offer  */ {_, _, _, A, _, A, T, A, _, _, _, _, _, _, _, _, _, _},
    /* Request conf*/ {_, _, _, A, _, _, _, _, _, _, _, _, _, _, _, _, _, _},
    /* Sharing conf*/ {_, _, _, A, _, _, _, _, _, _, _, _, _, _, _, _, _, _},
    /* Displaying  */ {_, _, _, A, _, _, _, _, _, _, _, _, S, S, _, S, _, S},
    /* Tracking    */ {_, A, A, A, A, S, S, S, _, _, _, _, _, _, S, S, S, _},
};

// Names a received message by what it means.
class Classifier : public NetworkVisitor {
public:
    Peer kind = Peer::Count;

    void Handle(RequestRemoteDesktopNetMsg const& message) override {
        kind = message.IsRequest()   ? Peer::Request
               : message.IsAllowed() ? Peer::Allowed
               : message.IsAborted() ? Peer::Abort
                                     : Peer::OtherAnswer;
    }
    void Handle(ShowMyDesktopNetMsg const& message) override {
        kind = message.IsAccepted()   ? Peer::OfferAccepted
               : message.IsResponse() ? Peer::OfferWithdrawn
                                      : Peer::Offer;
    }
    void Handle(TestConnectNetMsg const& message) override {
        kind = message.IsResponse() ? Peer::TestAnswer : Peer::Test;
    }
    void Handle(DesktopResolutionMsg const& message) override {
        kind = message.IsRequest() ? Peer::ResolutionQuery : Peer::ResolutionReply;
    }
    void Handle(DiscoveryNetMsg const&) override { kind = Peer::Discovery; }
    void Handle(ScreenChangeNetMsg const&) override { kind = Peer::ScreenChange; }
    void Handle(MouseMoveNetMsg const&) override { kind = Peer::MouseMove; }
    void Handle(WindowEventNetMsg const&) override { kind = Peer::Input; }
    void Handle(ClipboardNetMsg const&) override { kind = Peer::Clipboard; }
    void Handle(ClipboardRequestNetMsg const&) override { kind = Peer::ClipboardRequest; }
    void Handle(ClipboardAcknowledgeNetMsg const&) override { kind = Peer::ClipboardAcknowledge; }
};

}  // namespace

SessionTable::Next SessionTable::Lookup(State state, Peer message) {
    int const row = static_cast<int>(state);
    int const column = static_cast<int>(message);
    if (row < 0 || row >= kStates || column < 0 || column >= kMessages) {
        return Next::Ignored;
    }
    return kTable[row][column];
}

SessionTable::Peer SessionTable::KindOf(NetworkMessage& message) {
    Classifier classifier;
    message.Route(classifier);
    return classifier.kind;
}

char const* SessionTable::NameOf(State state) {
    static char const* const kNames[] = {"Initial",
                                         "Available",
                                         "WaitingForRequestAnswer",
                                         "WaitingForOfferAnswer",
                                         "RequestConfirmation",
                                         "SharingConfirmation",
                                         "Displaying",
                                         "Tracking"};
    int const index = static_cast<int>(state);
    return index >= 0 && index < kStates ? kNames[index] : "?";
}

char const* SessionTable::NameOf(Peer message) {
    static char const* const kNames[] = {"discovery",
                                         "request",
                                         "allowed",
                                         "abort",
                                         "other answer",
                                         "offer",
                                         "offer accepted",
                                         "offer withdrawn",
                                         "resolution query",
                                         "resolution reply",
                                         "test",
                                         "test answer",
                                         "screen change",
                                         "mouse move",
                                         "input",
                                         "clipboard",
                                         "clipboard request",
                                         "clipboard acknowledge"};
    int const index = static_cast<int>(message);
    return index >= 0 && index < kMessages ? kNames[index] : "unknown message";
}

char const* SessionTable::NameOf(Next next) {
    static char const* const kNames[] = {
        "ignored",    "stays",   "Available", "RequestConfirmation", "SharingConfirmation",
        "Displaying", "Tracking"};
    return kNames[static_cast<int>(next)];
}
