#include "imaging/ComScope.h"

#include <objbase.h>

#include "foundation/Errors.h"

ComScope::ComScope() : mBalance(false) {
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(result)) {
        // S_FALSE too: every successful call needs its own CoUninitialize.
        mBalance = true;
    } else if (result != RPC_E_CHANGED_MODE) {
        // RPC_E_CHANGED_MODE: a single-threaded apartment is already there, which serves as well.
        Raise(SystemError("Cannot initialise COM", static_cast<unsigned long>(result)));
    }
}

ComScope::~ComScope() {
    if (mBalance) {
        CoUninitialize();
    }
}
