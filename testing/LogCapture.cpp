#include "LogCapture.h"

#include <sstream>

#include "TempFolder.h"
#include "foundation/LogFileHandler.h"

LogCapture::LogCapture(CorvaneLogging::LoggingOutput output)
    : mWasEnabled(CorvaneLogging::IsLoggingEnabled()),
      mOldOutput(CorvaneLogging::GetLoggingOutput()),
      mPath(LogFileHandler::GetInstance()->GetPath()),
      mStart(ReadWholeFile(mPath).size()) {
    CorvaneLogging::SetLoggingOutput(output);
    CorvaneLogging::SetLoggingEnabled(true);
}

LogCapture::~LogCapture() {
    CorvaneLogging::SetLoggingEnabled(mWasEnabled);
    CorvaneLogging::SetLoggingOutput(mOldOutput);
}

std::vector<std::string> LogCapture::Lines() const {
    std::string content = ReadWholeFile(mPath);
    std::istringstream in(content.size() > mStart ? content.substr(mStart) : std::string());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (MessageOf(line) != LogFileHandler::kBanner) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string LogCapture::MessageOf(std::string const& line) {
    std::size_t prefixEnd = line.find("] ");
    if (prefixEnd == std::string::npos) {
        return line;
    }
    std::size_t blank = line.find(' ', prefixEnd + 2);
    return blank == std::string::npos ? std::string() : line.substr(blank + 1);
}

std::vector<std::string> LogCapture::Messages() const {
    std::vector<std::string> messages;
    for (std::string const& line : Lines()) {
        messages.push_back(MessageOf(line));
    }
    return messages;
}

int LogCapture::Count(std::string const& text) const {
    int count = 0;
    for (std::string const& message : Messages()) {
        count += message.find(text) != std::string::npos ? 1 : 0;
    }
    return count;
}

bool LogCapture::Contains(std::string const& text) const { return Count(text) > 0; }
