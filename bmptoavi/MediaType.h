#pragma once

#include <windows.h>
#include <dshow.h>

// Copies `source` into `target`, format block included (CoTaskMemAlloc'd); FreeMediaType
// releases that block again.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, AM_MEDIA_TYPE const& source);
void FreeMediaType(AM_MEDIA_TYPE& type);
