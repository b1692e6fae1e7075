#include "MediaType.h"

#include <cstring>

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, AM_MEDIA_TYPE const& source) {
    *target = source;
    target->pUnk = nullptr;
    target->pbFormat = nullptr;
    if (source.cbFormat && source.pbFormat) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
        if (!target->pbFormat) {
            target->cbFormat = 0;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source.pbFormat, source.cbFormat);
    } else {
        target->cbFormat = 0;
    }
    return S_OK;
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
    CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
}
