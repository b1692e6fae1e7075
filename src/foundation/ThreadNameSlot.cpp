#include "foundation/ThreadNameSlot.h"

#include "foundation/Errors.h"

namespace {
constexpr char kTlsError[] = "Tls not allocated";
}

ThreadNameSlot::ThreadNameSlot() : mIndex(TlsAlloc()) {}

ThreadNameSlot::~ThreadNameSlot() {
    if (mIndex != TLS_OUT_OF_INDEXES) {
        Clear();
        TlsFree(mIndex);
    }
    if (mInstance == this) {
        mInstance = nullptr;
    }
}

void ThreadNameSlot::Check() const {
    if (mIndex == TLS_OUT_OF_INDEXES) {
        ReportThreadTlsError(kTlsError);
    }
}

std::string ThreadNameSlot::Get() const {
    Check();
    auto name = static_cast<std::string const*>(TlsGetValue(mIndex));
    return name ? *name : std::string();
}

void ThreadNameSlot::Set(std::string const& name) {
    Check();
    auto copy = new std::string(name);
    delete static_cast<std::string*>(TlsGetValue(mIndex));
    TlsSetValue(mIndex, copy);
}

void ThreadNameSlot::Clear() {
    Check();
    delete static_cast<std::string*>(TlsGetValue(mIndex));
    TlsSetValue(mIndex, nullptr);
}

ThreadNameSlot& ThreadNameSlot::GetInstance() {
    if (!mInstance) {
        ReportThreadTlsError(kTlsError);
    }
    return *mInstance;
}

void ReportThreadTlsError(char const* message) { Raise(BaseError(message)); }
