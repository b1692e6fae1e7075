#include "foundation/TypeName.h"

#include <cxxabi.h>

#include <cstdlib>

std::string TypeName(std::type_info const& type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    return name;
}
