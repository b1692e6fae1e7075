#include "foundation/MessageDispatcher.h"

MessageDispatcher::MessageDispatcher() : mWindow(nullptr, false) {
    mWindow.Create(L"CorvaneMessageDispatcher");
    mWindow.SetMessageHandler(this);
}

MessageDispatcher::~MessageDispatcher() {
    mWindow.Close();
}

void MessageDispatcher::Dispatch(void* data) {
    mWindow.SendMessageW(mWindow.GetHwnd(), mDispatchMessage.value, 0, reinterpret_cast<LPARAM>(data), true);
}

int MessageDispatcher::Handle(tagMSG const& message) {
    if (message.message != mDispatchMessage.value) {
        return 0;
    }
    OnDispatch(reinterpret_cast<void*>(message.lParam));
    return 1;
}
