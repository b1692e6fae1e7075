// A second process with a messenger client, for the tests that need one.
//   DISCOVER ATTACH READY RELEASE   attaches with the named messages until refused as
//                                   "is locked" (10 s at most), prints "locked <status>
//                                   <current user>" or "not locked ...", signals the named
//                                   event READY and waits for RELEASE before it ends.

#include <windows.h>

#include <cstdio>

#include "LogCapture.h"
#include "skype/SkypeClient.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        return 2;
    }
    LogCapture log;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
    if (!ready || !release) {
        return 2;
    }
    SkypeClient client(nullptr, RegisterWindowMessageA(argv[1]), RegisterWindowMessageA(argv[2]));
    client.Attach();
    bool locked = false;
    for (DWORD start = GetTickCount(); !locked && GetTickCount() - start < 10000;) {
        locked = log.Contains("is locked");
        if (!locked) {
            Sleep(20);  // the log has no event to wait on
        }
    }
    std::printf("%s %d %s\n", locked ? "locked" : "not locked", client.GetAttachStatus(),
                client.GetCurrentUser().c_str());
    std::fflush(stdout);
    SetEvent(ready);
    WaitForSingleObject(release, 30000);
    return 0;
}
