#pragma once

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include "foundation/CriticalSection.h"
#include "foundation/Delegate.h"
#include "session/ISession.h"

// A recorder's subscription to its session's frames. The session may be deleted before the
// recorder stops (on "SkypeEvent", when the messenger logs out) and the recorder may be
// closed on another thread while a frame is being raised, so the link watches the session
// being emptied and forgets it then; afterwards nothing touches the session any more. The
// link keeps itself alive while it is subscribed to the session's state switches, so that
// it may outlive its recorder.
class RecorderSessionLink : public boost::enable_shared_from_this<RecorderSessionLink> {
public:
    using FrameHandler = Delegate<ISession::RemoteScreenChangeArgs const&>;

    // Subscribes `frames` to the session's frames (a null session gives no frames). The
    // recorder's owner thread.
    static boost::shared_ptr<RecorderSessionLink> Connect(ISession* session, FrameHandler const& frames);

    // Stops the frames; when a frame is being raised on another thread, waits until its
    // handler has returned. Any thread; call it without the recorder's queue lock, which the
    // frame handler takes.
    void Disconnect();

private:
    RecorderSessionLink(ISession* session, FrameHandler const& frames);
    // "SkypeEvent" or whichever thread deletes the session: forgets it when it is emptied.
    void OnStateChanging(StateChangeArgs& args);

    CriticalSection mLock;  // guards the fields; held while removing a handler
    ISession* mSession;     // not owned; null once emptied
    FrameHandler mFrames;
    bool mFramesOn = false;
    boost::shared_ptr<RecorderSessionLink> mSelf;  // while subscribed to the state switches
};
