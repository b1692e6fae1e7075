#include "foundation/Errors.h"

#include <windows.h>

#include <sstream>

#include "foundation/CorvaneLogging.h"
#include "foundation/TypeName.h"

namespace {
constexpr DWORD kMaxSystemMessage = 1024;
}  // namespace

SystemError::SystemError(std::string const& message, unsigned long code)
    : BaseError(message + " (" + GetSystemErrorDescription(code) + ")") {}

std::string GetSystemErrorDescription(unsigned long code) {
    char text[kMaxSystemMessage + 1] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, kMaxSystemMessage, nullptr);
    std::ostringstream out;
    out << std::string(text, length) << " (0x" << std::hex << std::nouppercase << code << ")";
    return out.str();
}

void LogRaisedException(std::exception const& error) {
    CORVANE_LOG("Exception (" << TypeName(typeid(error)) << "): " << error.what());
}
