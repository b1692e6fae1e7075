#pragma once

#include <windows.h>

#include <string>

// Every message box of the library goes through here, so that tests and headless runs can
// take the place of the dialog that would block on a person.

// The signature of MessageBoxW.
using MessageBoxFunction = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Shows a message box through the current function (MessageBoxW unless replaced) and returns
// its answer. Any thread.
int ShowMessageBox(HWND owner, std::wstring const& text, std::wstring const& caption, UINT type);

// Replaces the function that shows message boxes and returns the previous one; null restores
// MessageBoxW.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function);
