#pragma once

#include <windows.h>

#include <string>

// Receives the messages of a window, on the window's thread.
class IWindowMessageHandler {
public:
    // Non-zero means handled and becomes the window procedure's result; 0 leaves the message
    // to the default processing.
    virtual int Handle(tagMSG const& message) = 0;

protected:
    ~IWindowMessageHandler() = default;  // not deleted through the interface
};

// A window that can send messages.
//
// <windows.h> defines SendMessage as a macro for SendMessageW, so the member is named
// SendMessageW outright: a caller's obj->SendMessage(...) becomes obj->SendMessageW(...) and
// still reaches it. Inside a class with this member, the system function must be written
// ::SendMessageW, or the member hides it.
class IWindow {
public:
    virtual ~IWindow() = default;
    // Makes the window; `name` distinguishes it (its class name ends with it).
    virtual void Create(std::wstring const& name) = 0;
    virtual void Close() {}
    // Null until the window exists.
    virtual HWND GetHwnd() const = 0;
    // The handler is not owned and may be null; it must outlive its use by the window.
    virtual void SetMessageHandler(IWindowMessageHandler* handler) = 0;
    // Sends the message to `window` and returns its result, or with `post` posts it and
    // returns 1 at once. wParam and lParam carry pointers, so they have the pointer's width.
    virtual LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool post) = 0;
};
