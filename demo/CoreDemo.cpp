// A small host of Core.dll: switches the log on to the console and to the log file beside this
// program, writes a few lines from two threads, and shows what the log file received.

#include <fstream>
#include <iostream>
#include <thread>

#include "Core.h"

namespace {

void LogFromWorker() {
    Thread::SetCurrentThreadName("DemoWorker");
    CORVANE_LOG("hello from a worker thread");
}

void PrintLogFile() {
    std::ifstream log(LogFileHandler::GetInstance()->GetPath());
    std::cout << "\nThe log file " << LogFileHandler::GetInstance()->GetPath() << " holds:\n";
    for (std::string line; std::getline(log, line);) {
        std::cout << "  " << line << "\n";
    }
}

}  // namespace

int main() {
    CorvaneLogging::SetLoggingEnabled(true);
    CorvaneLogging::SetLoggingOutput(CorvaneLogging::LogBoth);

    CORVANE_LOG("Core.dll loaded; this is the host's main thread");
    std::thread(LogFromWorker).join();
    CorvaneLogging::SetLoggerName("demo");
    CORVANE_LOG("a line with a control character: \t and a backslash: \\");
    try {
        Raise(SystemError("Opening a file that is not there", ERROR_FILE_NOT_FOUND));
    } catch (BaseError const& error) {
        std::cout << "caught: " << error.what() << "\n";
    }
    PrintLogFile();
    return 0;
}
