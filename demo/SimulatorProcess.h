#pragma once

#include <windows.h>

#include <string>

// skypesim.exe (beside this program) running a simulated messenger network in a process of its
// own. The network ends with this object: its standard input pipe is closed.
class SimulatorProcess {
public:
    // Starts the simulator with `arguments` and waits for its "ready" line; raises
    // std::runtime_error when it does not start or does not get ready within `timeoutMs`.
    SimulatorProcess(std::string const& arguments, DWORD timeoutMs);
    ~SimulatorProcess();
    SimulatorProcess(SimulatorProcess const&) = delete;
    SimulatorProcess& operator=(SimulatorProcess const&) = delete;

private:
    // Reads the simulator's output to its end, signalling mReady at the line "ready".
    static DWORD WINAPI ReadOutput(void* self);
    void Stop();

    HANDLE mProcess = nullptr;  // owned
    HANDLE mInput = nullptr;    // owned: write end of the simulator's standard input
    HANDLE mOutput = nullptr;   // owned: read end of its standard output
    HANDLE mReady = nullptr;    // owned
    HANDLE mReader = nullptr;   // owned: the thread running ReadOutput
};
