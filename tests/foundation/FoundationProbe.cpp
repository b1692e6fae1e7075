// A second process for the foundation tests. "log OUTPUT LOGGER COUNT TEXT" logs COUNT lines
// "TEXT <i>" (LOGGER "-" for none), one with a tab and a backslash, one from an unnamed thread;
// "late-window" makes a window at exit, after the library's objects, and prints its answer.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "WorkerThread.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/ThreadWindow.h"

namespace {

// Made before the library's process-wide objects, so destroyed after them.
struct LateWindow : IWindowMessageHandler {
    bool wanted = false;
    int Handle(tagMSG const&) override { return 42; }
    ~LateWindow() {
        if (wanted) {
            ThreadWindow window(this, false);
            window.Create(L"ProbeLate");
            std::printf("answered %d\n", int(window.SendMessageW(window.GetHwnd(), WM_USER, 0, 0, false)));
            std::fflush(stdout);
        }
    }
} gLateWindow __attribute__((init_priority(150)));

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "late-window") {
        gLateWindow.wanted = true;
        return 0;
    }
    if (argc != 6 || std::string(argv[1]) != "log") {
        std::fprintf(stderr, "unknown probe command\n");
        return 2;
    }
    CorvaneLogging::SetLoggingEnabled(true);
    CorvaneLogging::SetLoggingOutput(static_cast<CorvaneLogging::LoggingOutput>(std::atoi(argv[2])));
    if (std::string(argv[3]) != "-") {
        CorvaneLogging::SetLoggerName(argv[3]);
    }
    for (int i = 0, n = std::atoi(argv[4]); i < n; ++i) {
        CORVANE_LOG(argv[5] << " " << i);
    }
    CORVANE_LOG("escaped: \t\\");
    WorkerThread([] { CORVANE_LOG("from an unnamed thread"); }).Join();
    return 0;
}
