#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/MessageBox.h"

// Takes the place of the library's message boxes while it lives and records what they would
// have shown; each box answers IDOK at once. One capture at a time.
class MessageBoxCapture {
public:
    struct Box {
        HWND owner;
        std::wstring text;
        std::wstring caption;
        UINT type;
    };

    MessageBoxCapture();
    ~MessageBoxCapture();
    MessageBoxCapture(MessageBoxCapture const&) = delete;
    MessageBoxCapture& operator=(MessageBoxCapture const&) = delete;

    std::vector<Box> Boxes() const;

private:
    static int WINAPI Record(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

    MessageBoxFunction mPrevious;
};
