#include "SimulatorProcess.h"

#include <stdexcept>

#include "foundation/FileHelper.h"

namespace {
constexpr DWORD kStopWaitMs = 5000;
}

SimulatorProcess::SimulatorProcess(std::string const& arguments, DWORD timeoutMs)
    : mReady(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &mInput, &inherit, 0) || !CreatePipe(&mOutput, &childOutput, &inherit, 0)) {
        throw std::runtime_error("cannot make the simulator's pipes");
    }
    SetHandleInformation(mInput, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(mOutput, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string path = FileHelper::GetModulePath() + "skypesim.exe";
    std::string commandLine = "\"" + path + "\" " + arguments;
    PROCESS_INFORMATION info{};
    BOOL started = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    if (!started) {
        throw std::runtime_error("cannot start " + path);
    }
    CloseHandle(info.hThread);
    mProcess = info.hProcess;
    mReader = CreateThread(nullptr, 0, &SimulatorProcess::ReadOutput, this, 0, nullptr);
    HANDLE waits[] = {mReady, mProcess};
    if (WaitForMultipleObjects(2, waits, FALSE, timeoutMs) != WAIT_OBJECT_0) {
        Stop();
        throw std::runtime_error("the simulator did not get ready");
    }
}

SimulatorProcess::~SimulatorProcess() { Stop(); }

void SimulatorProcess::Stop() {
    CloseHandle(mInput);  // the simulator ends when its input closes
    mInput = nullptr;
    if (WaitForSingleObject(mProcess, kStopWaitMs) != WAIT_OBJECT_0) {
        TerminateProcess(mProcess, 1);
    }
    WaitForSingleObject(mReader, INFINITE);  // its output closed with the process
    CloseHandle(mReader);
    CloseHandle(mProcess);
    CloseHandle(mOutput);
    CloseHandle(mReady);
    mReader = mProcess = mOutput = mReady = nullptr;
}

DWORD WINAPI SimulatorProcess::ReadOutput(void* self) {
    auto process = static_cast<SimulatorProcess*>(self);
    std::string line;
    char c = 0;
    DWORD read = 0;
    while (ReadFile(process->mOutput, &c, 1, &read, nullptr) && read == 1) {
        if (c != '\n') {
            line += c == '\r' ? std::string() : std::string(1, c);
            continue;
        }
        if (line == "ready") {
            SetEvent(process->mReady);
        }
        line.clear();
    }
    return 0;
}
