#include "session/SessionTable.h"

#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
#include "network/NetworkVisitor.h"
#include "network/ScreenChangeNetMsg.h"
#include "session/AvailableState.h"
#include "session/DisplayingState.h"
#include "session/InitialState.h"
#include "session/RequestConfirmationState.h"
#include "session/SharingConfirmationState.h"
#include "session/TrackingState.h"
#include "session/WaitingConfirmationState.h"

namespace {

using State = SessionTable::State;
using Peer = SessionTable::Peer;
using Local = SessionTable::Local;
using Next = SessionTable::Next;

constexpr Next _ = Next::Ignored;
constexpr Next S = Next::Stays;
constexpr Next I = Next::Initial;
constexpr Next A = Next::Available;
constexpr Next WR = Next::WaitingForRequestAnswer;
constexpr Next WO = Next::WaitingForOfferAnswer;
constexpr Next RC = Next::RequestConfirmation;
constexpr Next SC = Next::SharingConfirmation;
constexpr Next D = Next::Displaying;
constexpr Next T = Next::Tracking;

constexpr int kStates = static_cast<int>(State::Count);
constexpr int kMessages = static_cast<int>(Peer::Count);
constexpr int kLocals = static_cast<int>(Local::Count);

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

// Rows follow State, columns follow Local. A stop asked for while viewing is carried out when
// the session is next idle, whatever state it is in by then.
constexpr Next kLocalTable[kStates][kLocals] = {
    //               CFail Req Offr Acc Dec Cncl Stop
    /* Initial     */ {I, _, _, _, _, _, A},
    /* Available   */ {I, WR, WO, _, _, _, A},
    /* Wait request*/ {I, _, _, _, _, A, A},
    /* Wait offer  */ {I, _, _, _, _, A, A},
    /* Request conf*/ {I, _, _, T, A, _, A},
    /* Sharing conf*/ {I, _, _, D, A, _, A},
    /* Displaying  */ {I, _, _, _, _, _, A},
    /* Tracking    */ {I, _, _, _, _, _, A},
};

// Names a received message by what it means.
class Classifier : public NetworkVisitor {
public:
    Peer kind = Peer::Count;

    void Handle(RequestRemoteDesktopNetMsg const& message) override { kind = SessionTable::KindOf(message); }
    void Handle(ShowMyDesktopNetMsg const& message) override { kind = SessionTable::KindOf(message); }
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

namespace {
// The cell of `table`, Ignored outside it.
template <class Column, int Columns>
Next Cell(Next const (&table)[kStates][Columns], State state, Column column) {
    int const row = static_cast<int>(state);
    int const at = static_cast<int>(column);
    return row < 0 || row >= kStates || at < 0 || at >= Columns ? Next::Ignored : table[row][at];
}
}  // namespace

SessionTable::Next SessionTable::Lookup(State state, Peer message) {
    return Cell(kTable, state, message);
}

SessionTable::Next SessionTable::Lookup(State state, Local event) {
    return Cell(kLocalTable, state, event);
}

SessionState* SessionTable::Enter(Next next, SessionQualityConfiguration const& quality) {
    switch (next) {
        case Next::Initial:
            return new InitialState;
        case Next::Available:
            return new AvailableState;
        case Next::WaitingForRequestAnswer:
            return new WaitingConfirmationState(quality, WaitingConfirmationState::Sent::Request);
        case Next::WaitingForOfferAnswer:
            return new WaitingConfirmationState(quality, WaitingConfirmationState::Sent::Offer);
        case Next::RequestConfirmation:
            return new RequestConfirmationState(quality);
        case Next::SharingConfirmation:
            return new SharingConfirmationState;
        case Next::Displaying:
            return new DisplayingState(quality);
        case Next::Tracking:
            return new TrackingState(quality);
        case Next::Ignored:
        case Next::Stays:
            break;
    }
    return nullptr;
}

SessionTable::Peer SessionTable::KindOf(RequestRemoteDesktopNetMsg const& message) {
    return message.IsRequest()   ? Peer::Request
           : message.IsAllowed() ? Peer::Allowed
           : message.IsAborted() ? Peer::Abort
                                 : Peer::OtherAnswer;
}

SessionTable::Peer SessionTable::KindOf(ShowMyDesktopNetMsg const& message) {
    return message.IsAccepted()   ? Peer::OfferAccepted
           : message.IsResponse() ? Peer::OfferWithdrawn
                                  : Peer::Offer;
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

char const* SessionTable::NameOf(Local event) {
    static char const* const kNames[] = {"connect failure", "request", "offer", "accept",
                                         "decline",         "cancel",  "stop"};
    int const index = static_cast<int>(event);
    return index >= 0 && index < kLocals ? kNames[index] : "unknown event";
}

// The states of Next follow Ignored and Stays in the order of State.
static_assert(static_cast<int>(Next::Initial) == 2 && static_cast<int>(Next::Tracking) == 2 + kStates - 1,
              "Next names the states in the order of State");

char const* SessionTable::NameOf(Next next) {
    return next == Next::Ignored ? "ignored"
           : next == Next::Stays ? "stays"
                                 : NameOf(static_cast<State>(static_cast<int>(next) - 2));
}
