#pragma once

// What Core.dll exports: the classes and functions marked CORVANE_API, nothing else.
// CORVANE_BUILDING_CORE: compiling the library itself (exports).
// CORVANE_STATIC: linking the static library corvane_core (tests, tools): no import.
// Otherwise a host of Core.dll: imports.
#if defined(CORVANE_BUILDING_CORE)
#define CORVANE_API __declspec(dllexport)
#elif defined(CORVANE_STATIC)
#define CORVANE_API
#else
#define CORVANE_API __declspec(dllimport)
#define CORVANE_IMPORTING 1
#endif
