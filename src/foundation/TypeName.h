#pragma once

#include <string>
#include <typeinfo>

// The readable (demangled) name of a type, as logs show it: "SkypeError", "MouseMoveNetMsg".
std::string TypeName(std::type_info const& type);
