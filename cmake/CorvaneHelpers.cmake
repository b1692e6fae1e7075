# Boost is used for headers only. The cross compiler must not see /usr/include as a whole
# (glibc headers would shadow the Windows ones), so it gets a folder holding just a link.
function(corvane_boost_headers)
  set(dir ${CMAKE_BINARY_DIR}/boost-include)
  if(NOT EXISTS ${dir}/boost)
    if(NOT EXISTS /usr/include/boost/function.hpp)
      message(FATAL_ERROR "Boost headers are missing: run scripts/setup")
    endif()
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK /usr/include/boost ${dir}/boost SYMBOLIC)
  endif()
  add_library(boost_headers INTERFACE)
  target_include_directories(boost_headers SYSTEM INTERFACE ${dir})
endfunction()

# GoogleTest and GoogleMock from Debian's sources, built with the cross compiler.
function(corvane_googletest)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endfunction()

# Links a program with the whole static library, so that the process-wide objects of
# Core.cpp are built and torn down exactly as in Core.dll.
function(corvane_link_core target)
  set(scope PRIVATE)
  if(ARGC GREATER 1)
    set(scope ${ARGV1})
  endif()
  target_link_libraries(${target} ${scope} "$<LINK_LIBRARY:WHOLE_ARCHIVE,corvane_core>")
endfunction()

# One test program per subsystem, one CTest entry per program: every Wine start costs time.
function(corvane_add_test_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE corvane_testing gmock_main)
  corvane_link_core(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
