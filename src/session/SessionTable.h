#pragma once

class NetworkMessage;
class RequestRemoteDesktopNetMsg;
class ShowMyDesktopNetMsg;
class SessionQualityConfiguration;
class SessionState;

// The whole negotiation in one place: what a message from the peer, or an event of our own
// side (our user's operations, the channels' loss), does to a session in each state: be
// ignored, be handled in place, or move the session on, and which state it moves to. A state
// only ever receives the messages that this table routes to it (SessionState::Visit), and
// moves only where the table says (SessionState::Move), so the table is the one place that
// says what a peer, or we, can make a session do; the states keep what happens on the way.
//
// The rule behind it: the peer can always end something (go back to Available) or ask our
// user a question (RequestConfirmation, SharingConfirmation), but only our own user's choice
// starts viewing or sharing:
//
//   Available --our "Request remote desktop"--> Waiting(request) --peer "OK"------> Displaying
//   Available --our "Share my desktop"-------> Waiting(offer)   --peer accepts---> Tracking
//   Available --peer request--> RequestConfirmation --our "Accept"--> Tracking
//   Available --peer offer----> SharingConfirmation --our "Accept"--> Displaying
//
// Our "Decline", "Cancel" and "Stop", and the peer's abort, lead back to Available; a lost
// channel leads to Initial from every state, and the peer's discovery from Initial to
// Available.
//
// The answer to a request never completes an offer and the reverse. Screen changes, the
// cursor, input and clipboard contents reach only Displaying and Tracking.
//
// Used by every state on "SkypeEvent"; the table is constant.
class SessionTable {
public:
    // A state as the table sees it: the waiting state counts twice, by what our user sent.
    enum class State {
        Initial,
        Available,
        WaitingForRequestAnswer,
        WaitingForOfferAnswer,
        RequestConfirmation,
        SharingConfirmation,
        Displaying,
        Tracking,
        Count
    };

    // A message from the peer, told apart by what it means.
    enum class Peer {
        Discovery,
        Request,          // "RQ:": wants to see our desktop
        Allowed,          // "OK": the answer to our request
        Abort,            // "ST": declines, cancels or stops
        OtherAnswer,      // any other request payload
        Offer,            // an offer to show his desktop, or the decline of ours
        OfferAccepted,    // the answer that accepts our offer
        OfferWithdrawn,   // an offer's answer that is not accepted
        ResolutionQuery,  // asks for our desktop size
        ResolutionReply,
        Test,
        TestAnswer,
        ScreenChange,
        MouseMove,
        Input,
        Clipboard,
        ClipboardRequest,
        ClipboardAcknowledge,
        Count
    };

    // An event of our own side.
    enum class Local {
        ConnectFailure,  // a channel to the peer failed or closed
        Request,         // our user's "Request remote desktop"
        Offer,           // our user's "Share my desktop"
        Accept,          // our user accepts the peer's request or offer
        Decline,         // our user declines it
        Cancel,          // our user withdraws the request or offer we sent
        Stop,            // our user stops viewing or sharing
        Count
    };

    // What the event does: not routed at all, handled without a switch, or the next state.
    enum class Next {
        Ignored,
        Stays,
        Initial,
        Available,
        WaitingForRequestAnswer,
        WaitingForOfferAnswer,
        RequestConfirmation,
        SharingConfirmation,
        Displaying,
        Tracking
    };

    static Next Lookup(State state, Peer message);
    static Next Lookup(State state, Local event);
    // A new state for `next`, working at `quality` where it has one (the request's, the offer's
    // or the session's); null for Ignored and Stays.
    static SessionState* Enter(Next next, SessionQualityConfiguration const& quality);
    static Peer KindOf(NetworkMessage& message);
    static Peer KindOf(RequestRemoteDesktopNetMsg const& message);
    static Peer KindOf(ShowMyDesktopNetMsg const& message);
    static char const* NameOf(State state);
    static char const* NameOf(Peer message);
    static char const* NameOf(Local event);
    static char const* NameOf(Next next);
};
