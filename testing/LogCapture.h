#pragma once

#include <string>
#include <vector>

#include "foundation/CorvaneLogging.h"

// Switches the library's log on (to the given outputs) for a test and reads back the lines
// that the test process appended to its log file. Restores the previous settings when it goes.
class LogCapture {
public:
    explicit LogCapture(CorvaneLogging::LoggingOutput output = CorvaneLogging::LogFile);
    ~LogCapture();
    LogCapture(LogCapture const&) = delete;
    LogCapture& operator=(LogCapture const&) = delete;

    // The log file's lines written since the capture began, prefix included, without the
    // banner that opens the process's first line.
    std::vector<std::string> Lines() const;
    // The message texts of those lines (the part after the prefix).
    std::vector<std::string> Messages() const;
    // True when some message of the capture contains `text`.
    bool Contains(std::string const& text) const;
    // How many messages contain `text`.
    int Count(std::string const& text) const;

    // The message part of a log line: everything after the first blank following "] ".
    static std::string MessageOf(std::string const& line);

private:
    bool mWasEnabled;
    CorvaneLogging::LoggingOutput mOldOutput;
    std::string mPath;
    std::size_t mStart;
};
