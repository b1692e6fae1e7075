# find_package(CorvaneCore) for a host of Core.dll: the imported target Corvane::Core (the DLL,
# its import library and the public headers) and CorvaneCore_RUNTIME_FILES, the DLLs a host
# puts beside its program (Core.dll, and BmpToAvi.dll, the recordings' filter, registered
# with regsvr32 on the machine that records).
get_filename_component(_corvane_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

if(NOT TARGET Corvane::Core)
  add_library(Corvane::Core SHARED IMPORTED)
  set_target_properties(Corvane::Core PROPERTIES
    IMPORTED_LOCATION "${_corvane_prefix}/bin/Core.dll"
    IMPORTED_IMPLIB "${_corvane_prefix}/lib/libCore.dll.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_corvane_prefix}/include;${_corvane_prefix}/include/corvane"
    INTERFACE_COMPILE_DEFINITIONS "NOMINMAX"
    INTERFACE_COMPILE_FEATURES cxx_std_17)
endif()

set(CorvaneCore_RUNTIME_FILES "${_corvane_prefix}/bin/Core.dll" "${_corvane_prefix}/bin/BmpToAvi.dll")
set(CorvaneCore_VERSION @VERSION@)
unset(_corvane_prefix)
