#pragma once

#include <windows.h>
#include <dshow.h>

// Hands the input pin an allocator of our own with buffers of at least `bufferBytes`, within
// the pin's own requirements, and on success stores it (one reference) in `*allocator`.
// Always our own: Wine's AVI multiplexer fails on GetAllocator once its input pin has been
// reconnected. Called by an output pin while it connects.
HRESULT ProvideAllocator(IMemInputPin* input, long bufferBytes, IMemAllocator** allocator);
