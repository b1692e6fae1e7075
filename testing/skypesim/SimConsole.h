#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "WorkerThread.h"

namespace skypesim {

class SkypeSimulator;

// The control lines of skypesim.exe: reads commands from standard input (cut, link, latency,
// malformed, status), carries them out on the simulator and answers each with one line
// ("ok ..." or "error: ..."); prints the link's events as they happen. Sets `inputClosed`
// when standard input ends.
class SimConsole {
public:
    SimConsole(SkypeSimulator& simulator, HANDLE inputClosed);
    ~SimConsole();  // stops printing the link's events; the input thread ends with the process
    SimConsole(SimConsole const&) = delete;
    SimConsole& operator=(SimConsole const&) = delete;

    // Reads standard input on a thread of its own (only when it is a pipe: anything else would
    // end at once or never).
    void WatchInput();
    // One line on standard output; any thread.
    void Say(std::string const& line);
    // Carries out one control line and gives its answer.
    std::string Run(std::string const& line);

private:
    void ReadInput();
    void PrintLinkEvents();

    SkypeSimulator& mSimulator;
    HANDLE mInputClosed;  // not owned
    std::mutex mOutputLock;
    bool mStopping = false;
    WorkerThread mPrinter;
};

}  // namespace skypesim
