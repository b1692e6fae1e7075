#include "InChild.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "ProcessRunner.h"

namespace {

constexpr char kChildFilter[] = "--gtest_filter=InChild.DISABLED_";

// Wine starts its debugger for an unhandled exception, which keeps the child (and the output
// pipe it inherits) alive: a child ends at once with the exception's code instead.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* exception) {
    DWORD const code = exception->ExceptionRecord->ExceptionCode;
    std::printf("child crashed: exception 0x%08lx\n", static_cast<unsigned long>(code));
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool InstallInChild() {
    if (std::strstr(GetCommandLineA(), kChildFilter) == nullptr) {
        return false;
    }
    SetUnhandledExceptionFilter(EndOnCrash);
    return true;
}

bool const gIsChild = InstallInChild();

std::string OwnFileName() {
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string full(path);
    return full.substr(full.find_last_of('\\') + 1);
}

}  // namespace

::testing::AssertionResult PassesInChild(std::string const& name, unsigned long timeoutMs) {
    ProcessRunner::Result result = ProcessRunner::Run(
        OwnFileName(), std::string("--gtest_also_run_disabled_tests ") + kChildFilter + name, timeoutMs);
    if (result.started && result.exitCode == 0 &&
        result.output.find("[  PASSED  ] 1 test") != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream failure;
    failure << "child " << name << (result.started ? "" : " did not start") << ", exit code 0x" << std::hex
            << result.exitCode << ":\n"
            << result.output;
    return ::testing::AssertionFailure() << failure.str();
}
