#pragma once

#include <windows.h>

// Lists the DLL's video compressors in the system's video compressor category under their
// friendly names (recording/BmpToAviCodecs.h), where a device enumerator finds them beside
// the system's, or takes them out again. Called by DllRegisterServer / DllUnregisterServer.
HRESULT RegisterCompressors();
HRESULT UnregisterCompressors();
