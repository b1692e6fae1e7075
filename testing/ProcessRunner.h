#pragma once

#include <string>

// Runs another program of the build folder and collects its standard output.
class ProcessRunner {
public:
    struct Result {
        bool started = false;
        unsigned long exitCode = 0;
        std::string output;
    };

    // Runs `program` (a file name beside the running executable) with `arguments` to its end.
    static Result Run(std::string const& program, std::string const& arguments, unsigned long timeoutMs = 30000);

    // A started process whose output is read when it is waited for.
    class Process {
    public:
        Process(std::string const& program, std::string const& arguments);
        ~Process();
        Process(Process const&) = delete;
        Process& operator=(Process const&) = delete;

        bool IsStarted() const { return mProcess != nullptr; }
        // Waits for the end and reads the whole output; false on time-out (the process is killed).
        bool Wait(unsigned long timeoutMs, Result& result);

    private:
        void* mProcess = nullptr;  // owned process handle
        void* mOutput = nullptr;   // owned read end of the output pipe
    };

    // Full path of a file beside the running executable.
    static std::string BesideExecutable(std::string const& fileName);
};
