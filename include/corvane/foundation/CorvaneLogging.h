#pragma once

#include "CorvaneApi.h"

#include <sstream>
#include <string>

// <urlmon.h> (which <objbase.h> includes) defines IsLoggingEnabled as a macro for
// IsLoggingEnabledW. Included before this header, its macro is taken out here; included after,
// it renames the calls, which the alias below then serves.
#ifdef IsLoggingEnabled
#undef IsLoggingEnabled
#endif

// The diagnostic log: stamped lines to the console, to "<host exe>.log", or both.
// Logging is off until the host switches it on. Writers test IsLoggingEnabled() before they
// compose a message (CORVANE_LOG does both).
// Every function here may be called from any thread at any time; the switches take effect for
// the next line written.
namespace CorvaneLogging {

// Bit set of outputs.
using LoggingOutput = unsigned;
constexpr LoggingOutput LogNothing = 0;
constexpr LoggingOutput LogConsole = 1;
constexpr LoggingOutput LogFile = 2;
constexpr LoggingOutput LogBoth = 3;

CORVANE_API void SetLoggingEnabled(bool enabled);
CORVANE_API bool IsLoggingEnabled();
// IsLoggingEnabled under the name <urlmon.h>'s macro gives it.
inline bool IsLoggingEnabledW() {
    return IsLoggingEnabled();
}
CORVANE_API void SetLoggingOutput(LoggingOutput output);
CORVANE_API LoggingOutput GetLoggingOutput();
CORVANE_API void SetLoggerName(std::string const& name);
CORVANE_API std::string GetLoggerName();

// Writes one message (escaped) to each output that both `outputs` and the output setting
// select. Does not test the enabled flag; never throws.
CORVANE_API void CorvaneDebugOutput(std::stringstream const& message, LoggingOutput outputs);

// The line prefix "[logger/thread] hh:mm:ss.mmm/<ms since start> " of the file output.
CORVANE_API std::string FormatLinePrefix();

// Milliseconds since the library was loaded.
CORVANE_API int MillisecondsSinceStart();

}  // namespace CorvaneLogging

// Logs the streamed expression to both outputs when logging is enabled:
// CORVANE_LOG("Thread " << name << " start");
#define CORVANE_LOG(expression)                                                             \
    do {                                                                                    \
        if (CorvaneLogging::IsLoggingEnabled()) {                                           \
            std::stringstream corvaneLogStream_;                                            \
            corvaneLogStream_ << expression;                                                \
            CorvaneLogging::CorvaneDebugOutput(corvaneLogStream_, CorvaneLogging::LogBoth); \
        }                                                                                   \
    } while (0)
