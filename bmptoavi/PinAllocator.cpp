#include "PinAllocator.h"

#include <algorithm>

HRESULT ProvideAllocator(IMemInputPin* input, long bufferBytes, IMemAllocator** allocator) {
    ALLOCATOR_PROPERTIES wanted{};
    input->GetAllocatorRequirements(&wanted);
    IMemAllocator* made = nullptr;
    HRESULT result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                      reinterpret_cast<void**>(&made));
    if (FAILED(result)) {
        return result;
    }
    wanted.cBuffers = std::max(wanted.cBuffers, 1L);
    wanted.cbBuffer = std::max(wanted.cbBuffer, bufferBytes);
    wanted.cbAlign = std::max(wanted.cbAlign, 1L);
    ALLOCATOR_PROPERTIES actual{};
    result = made->SetProperties(&wanted, &actual);
    if (SUCCEEDED(result) && actual.cbBuffer < bufferBytes) {
        result = VFW_E_SIZENOTSET;
    }
    if (SUCCEEDED(result)) {
        result = input->NotifyAllocator(made, FALSE);
    }
    if (FAILED(result)) {
        made->Release();
        return result;
    }
    *allocator = made;
    return S_OK;
}
