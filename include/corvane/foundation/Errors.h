#pragma once

#include "CorvaneApi.h"

#include <exception>
#include <stdexcept>
#include <string>

// The library's exception family. Every exception is raised through Raise(), which logs it first.
// A method that raises says so; the exception reaches the caller on the thread it called from.

class BaseError : public std::exception {
public:
    BaseError() = default;
    explicit BaseError(std::string message) : mMessage(std::move(message)) {}
    char const* what() const noexcept override { return mMessage.c_str(); }

private:
    std::string mMessage;
};

// Failures of the messenger's API and of the objects built on it.
class SkypeError : public BaseError {
public:
    explicit SkypeError(std::string const& message) : BaseError(message) {}
};

// A failed operating-system call; the text ends with the system's description of the code.
class CORVANE_API SystemError : public BaseError {
public:
    SystemError(std::string const& message, unsigned long code);
};

// Protocol failures that are not a malformed message.
class NetworkError : public BaseError {
public:
    explicit NetworkError(std::string const& message) : BaseError(message) {}
};

// Malformed or unknown messages and chunks.
class NetworkMessageFormatError : public NetworkError {
public:
    explicit NetworkMessageFormatError(std::string const& message) : NetworkError(message) {}
};

// The system's message text for an error code, then " (0x" + lower-case hex + ")".
CORVANE_API std::string GetSystemErrorDescription(unsigned long code);

// Logs "Exception (<type>): <what>" when logging is enabled. Used by Raise only.
CORVANE_API void LogRaisedException(std::exception const& error);

// The one way the library throws: log, then throw a copy of the given exception.
template <class E>
[[noreturn]] void Raise(E const& error) {
    LogRaisedException(error);
    throw error;
}
