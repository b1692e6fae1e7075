#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>

#include "WorkerThread.h"

namespace skypesim {

// skypesim.exe (beside the running program) in a process of its own, with pipes for its
// standard input and its output (standard output and error together). The simulator ends when
// its input closes; the destructor closes it and, should the simulator not end within a
// second, kills it.
class SimulatorProcess {
public:
    // Starts the simulator with `arguments` (see README.md); IsStarted() tells whether it ran.
    explicit SimulatorProcess(std::string const& arguments);
    ~SimulatorProcess();
    SimulatorProcess(SimulatorProcess const&) = delete;
    SimulatorProcess& operator=(SimulatorProcess const&) = delete;

    bool IsStarted() const { return mProcess != nullptr; }
    // Waits until the output contains `text` ("ready\n" once the windows exist).
    bool WaitForOutput(std::string const& text, unsigned timeoutMs);
    std::string Output();
    void CloseInput();
    // The exit code, or -1 when the process does not end in time.
    long WaitForExit(unsigned timeoutMs);

private:
    void ReadOutput();

    HANDLE mProcess = nullptr;  // owned
    HANDLE mInput = nullptr;    // owned: write end of the simulator's standard input
    HANDLE mOutput = nullptr;   // owned: read end of its output
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::string mText;
    WorkerThread mReader;
};

}  // namespace skypesim
