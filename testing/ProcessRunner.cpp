#include "ProcessRunner.h"

#include <windows.h>

#include "WorkerThread.h"

std::string ProcessRunner::BesideExecutable(std::string const& fileName) {
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1) + fileName;
}

ProcessRunner::Process::Process(std::string const& program, std::string const& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    std::string path = BesideExecutable(program);
    std::string commandLine = "\"" + path + "\" " + arguments;
    if (CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        mProcess = info.hProcess;
        mOutput = readEnd;
    } else {
        CloseHandle(readEnd);
    }
    CloseHandle(writeEnd);
}

ProcessRunner::Process::~Process() {
    if (mProcess) {
        TerminateProcess(mProcess, 1);
        CloseHandle(mProcess);
    }
    if (mOutput) {
        CloseHandle(mOutput);
    }
}

bool ProcessRunner::Process::Wait(unsigned long timeoutMs, Result& result) {
    result = Result();
    if (!mProcess) {
        return false;
    }
    result.started = true;
    // Read on a helper thread so that a child filling the pipe cannot block its own exit.
    std::string output;
    WorkerThread reader([&] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(mOutput, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            output.append(buffer, read);
        }
    });
    bool ended = WaitForSingleObject(mProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(mProcess, 1);
    }
    reader.Join();
    DWORD code = 0;
    GetExitCodeProcess(mProcess, &code);
    result.exitCode = code;
    result.output = output;
    return ended;
}

ProcessRunner::Result ProcessRunner::Run(std::string const& program, std::string const& arguments,
                                         unsigned long timeoutMs) {
    Process process(program, arguments);
    Result result;
    process.Wait(timeoutMs, result);
    return result;
}
