#include "MessageBoxCapture.h"

#include <mutex>

namespace {
std::mutex gLock;
std::vector<MessageBoxCapture::Box> gBoxes;
}  // namespace

MessageBoxCapture::MessageBoxCapture() {
    {
        std::lock_guard<std::mutex> lock(gLock);
        gBoxes.clear();
    }
    mPrevious = SetMessageBoxFunction(&MessageBoxCapture::Record);
}

MessageBoxCapture::~MessageBoxCapture() {
    SetMessageBoxFunction(mPrevious);
}

std::vector<MessageBoxCapture::Box> MessageBoxCapture::Boxes() const {
    std::lock_guard<std::mutex> lock(gLock);
    return gBoxes;
}

int WINAPI MessageBoxCapture::Record(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    std::lock_guard<std::mutex> lock(gLock);
    gBoxes.push_back(Box{owner, text ? text : L"", caption ? caption : L"", type});
    return IDOK;
}
