#include "foundation/MessageBox.h"

#include <atomic>

namespace {
std::atomic<MessageBoxFunction> gMessageBox{&MessageBoxW};
}

int ShowMessageBox(HWND owner, std::wstring const& text, std::wstring const& caption, UINT type) {
    return gMessageBox.load()(owner, text.c_str(), caption.c_str(), type);
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function) {
    return gMessageBox.exchange(function ? function : &MessageBoxW);
}
