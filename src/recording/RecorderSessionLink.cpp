#include "recording/RecorderSessionLink.h"

RecorderSessionLink::RecorderSessionLink(ISession* session, FrameHandler const& frames)
    : mSession(session), mFrames(frames) {}

boost::shared_ptr<RecorderSessionLink> RecorderSessionLink::Connect(ISession* session,
                                                                    FrameHandler const& frames) {
    boost::shared_ptr<RecorderSessionLink> link(new RecorderSessionLink(session, frames));
    if (session) {
        CriticalSectionLock lock(link->mLock);
        link->mSelf = link;
        session->StateChanging.Add(MakeDelegate<&RecorderSessionLink::OnStateChanging>(link.get()));
        session->RemoteScreenChanged.Add(frames);
        link->mFramesOn = true;
    }
    return link;
}

// Removing the frame handler waits for a running dispatch of the frame event; the handler
// of the state switch waits for this lock, so a session cannot go away in between.
void RecorderSessionLink::Disconnect() {
    CriticalSectionLock lock(mLock);
    if (mSession && mFramesOn) {
        mSession->RemoteScreenChanged.Remove(mFrames);
    }
    mFramesOn = false;
}

// The state-switch subscription is dropped only here, by the session's own dispatch: removing
// it from another thread could meet the session's deletion.
void RecorderSessionLink::OnStateChanging(StateChangeArgs& args) {
    if (args.newState) {
        return;
    }
    boost::shared_ptr<RecorderSessionLink> self;
    {
        CriticalSectionLock lock(mLock);
        if (!mSession) {
            return;
        }
        if (mFramesOn) {
            mSession->RemoteScreenChanged.Remove(mFrames);
            mFramesOn = false;
        }
        mSession->StateChanging.Remove(MakeDelegate<&RecorderSessionLink::OnStateChanging>(this));
        mSession = nullptr;
        self.swap(mSelf);
    }
}
