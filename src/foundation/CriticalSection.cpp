#include "foundation/CriticalSection.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= 40 && alignof(CRITICAL_SECTION) <= 8,
              "CriticalSection's storage does not hold a CRITICAL_SECTION");

namespace {
CRITICAL_SECTION* Section(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
}  // namespace

CriticalSection::CriticalSection() {
    InitializeCriticalSection(Section(mSection));
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(Section(mSection));
}

void CriticalSection::Lock() {
    EnterCriticalSection(Section(mSection));
}

void CriticalSection::Unlock() {
    LeaveCriticalSection(Section(mSection));
}
