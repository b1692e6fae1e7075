#pragma once

#include <string>
#include <vector>

#include "CorvaneApi.h"

// The names a recording's `Codec` setting may take: the installed video compressors in
// enumeration order, then "Full Frames (Uncompressed)". Any thread; joins COM for the call
// when the thread has no apartment yet.
CORVANE_API std::vector<std::string> ListVideoCodecs();
