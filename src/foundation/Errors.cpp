#include "foundation/Errors.h"

#include <cxxabi.h>
#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <typeinfo>

#include "foundation/CorvaneLogging.h"

namespace {

constexpr DWORD kMaxSystemMessage = 1024;

std::string DemangledTypeName(std::exception const& error) {
    char const* raw = typeid(error).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : raw;
    std::free(demangled);
    return name;
}

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
    CORVANE_LOG("Exception (" << DemangledTypeName(error) << "): " << error.what());
}
