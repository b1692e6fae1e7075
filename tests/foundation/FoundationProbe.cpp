// A second process for the logging tests:
//   log OUTPUT LOGGER COUNT TEXT    logs COUNT lines "TEXT <i>" (LOGGER "-" for none), a line
//                                   with a tab and a backslash, and one from an unnamed thread

#include <cstdio>
#include <cstdlib>
#include <string>

#include "WorkerThread.h"
#include "foundation/CorvaneLogging.h"

int main(int argc, char** argv) {
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
