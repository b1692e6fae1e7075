#include "MessagePump.h"

#include "foundation/MainScheduler.h"

bool PumpMessagesUntil(std::function<bool()> const& done, DWORD timeoutMs) {
    DWORD begin = GetTickCount();
    while (!done()) {
        DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= timeoutMs) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        MSG message;
        while (!done() && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            HandleSyncMessage(message.message, message.wParam, message.lParam);
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}
