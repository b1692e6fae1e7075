#pragma once

class NetworkMessage;

// What a message from the peer may do to a session in each negotiation state: be ignored,
// be handled in place, or move the session on. A state only ever receives the messages that
// this table routes to it (SessionState::Visit), so the table is the one place that says
// what a peer can make us do.
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

    // What the message does: not routed at all, handled without a switch, or the next state.
    enum class Next {
        Ignored,
        Stays,
        Available,
        RequestConfirmation,
        SharingConfirmation,
        Displaying,
        Tracking
    };

    static Next Lookup(State state, Peer message);
    static Peer KindOf(NetworkMessage& message);
    static char const* NameOf(State state);
    static char const* NameOf(Peer message);
    static char const* NameOf(Next next);
};
