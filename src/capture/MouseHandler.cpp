#include "capture/MouseHandler.h"

#include <exception>

#include "foundation/CorvaneLogging.h"

MouseHandler::MouseHandler() : mThread("MouseHandler") {
    mThread.Bind(Delegate0::Bind<&MouseHandler::OnMouseMove>(this));
}

MouseHandler::~MouseHandler() {
    ClearHook();
}

void MouseHandler::SetHook() {
    if (mThread.IsAlive()) {
        return;
    }
    mThread.ResetStopEvent();
    mThread.Start();
}

void MouseHandler::ClearHook() {
    if (!mThread.Join(kJoinMs, true)) {
        CORVANE_LOG("MouseHandler thread did not stop in time");
    }
}

void MouseHandler::OnMouseMove() {
    do {
        POINT point;
        if (GetCursorPos(&point) && (point.x != mLast.x || point.y != mLast.y)) {
            mLast = point;
            try {
                (*this)(point);
            } catch (std::exception const& error) {
                CORVANE_LOG("Error processing mouse move: " << error.what());
            }
        }
    } while (mThread.GetStopEvent().Wait(kPollMs) == WAIT_TIMEOUT);
}
