#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

// Small DirectShow and text helpers of the recording graph.

// The filter's first pin of the given direction; null when it has none.
Microsoft::WRL::ComPtr<IPin> GetFirstPin(IBaseFilter* filter, PIN_DIRECTION direction);

// A wide text in the calling thread's ANSI code page; characters it lacks become '?'.
std::string WideToAnsi(wchar_t const* text);
