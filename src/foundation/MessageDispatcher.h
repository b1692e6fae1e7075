#pragma once

#include <windows.h>

#include "foundation/Event.h"
#include "foundation/IWindow.h"
#include "foundation/ThreadWindow.h"

// The message a dispatcher posts to its window; registered while the library loads.
struct DispatcherMessageId {
    UINT value = RegisterWindowMessageA("CorvaneMessageDispatcherMessage");
};

// Carries a pointer from any thread to the thread that built the dispatcher, through a
// hidden window on that thread. That thread must run a message loop that dispatches the
// window's messages. Build and destroy it on that thread.
class MessageDispatcher : public IWindowMessageHandler {
public:
    MessageDispatcher();
    ~MessageDispatcher();
    MessageDispatcher(MessageDispatcher const&) = delete;
    MessageDispatcher& operator=(MessageDispatcher const&) = delete;

    // Posts the pointer and returns at once; OnDispatch gets it later on the building
    // thread. Any thread. The pointer is passed on as it is, never read.
    void Dispatch(void* data);

    // Raised on the building thread with each dispatched pointer.
    Event<void*> OnDispatch;

    static DispatcherMessageId mDispatchMessage;  // the object lives in Core.cpp

private:
    int Handle(tagMSG const& message) override;

    ThreadWindow mWindow;
};
