#include "skypesim/SimulatorProcess.h"

#include <chrono>

namespace skypesim {
namespace {

constexpr DWORD kEndWaitMs = 1000;

std::string ProgramPath() {
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1) + "skypesim.exe";
}

}  // namespace

SimulatorProcess::SimulatorProcess(std::string const& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &mInput, &inherit, 0) || !CreatePipe(&mOutput, &childOutput, &inherit, 0)) {
        return;
    }
    SetHandleInformation(mInput, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(mOutput, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = childOutput;
    std::string path = ProgramPath();
    std::string commandLine = "\"" + path + "\" " + arguments;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        mProcess = info.hProcess;
    }
    CloseHandle(childInput);
    CloseHandle(childOutput);
    mReader.Start([this] { ReadOutput(); });
}

SimulatorProcess::~SimulatorProcess() {
    CloseInput();
    if (mProcess) {
        if (WaitForSingleObject(mProcess, kEndWaitMs) != WAIT_OBJECT_0) {
            TerminateProcess(mProcess, 1);
        }
        CloseHandle(mProcess);
    }
    mReader.Join();  // the output closed with the process
    CloseHandle(mOutput);
}

void SimulatorProcess::ReadOutput() {
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(mOutput, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        std::lock_guard<std::mutex> lock(mMutex);
        mText.append(buffer, read);
        mChanged.notify_all();
    }
}

bool SimulatorProcess::WaitForOutput(std::string const& text, unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return mText.find(text) != std::string::npos; });
}

std::string SimulatorProcess::Output() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mText;
}

void SimulatorProcess::CloseInput() {
    if (mInput) {
        CloseHandle(mInput);
        mInput = nullptr;
    }
}

long SimulatorProcess::WaitForExit(unsigned timeoutMs) {
    DWORD code = 0;
    if (!mProcess || WaitForSingleObject(mProcess, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(mProcess, &code)) {
        return -1;
    }
    return static_cast<long>(code);
}

}  // namespace skypesim
