#include "skypesim/SimWindows.h"

#include <cstring>

namespace skypesim {

HWND CreateHiddenWindow(wchar_t const* className, WNDPROC procedure, void* owner) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    }
    return window;
}

std::optional<std::string> CopyDataText(LPARAM record, std::size_t limit) {
    auto const* data = reinterpret_cast<COPYDATASTRUCT const*>(record);
    if (!data || data->cbData > limit || (data->cbData > 0 && !data->lpData)) {
        return std::nullopt;
    }
    auto const* bytes = static_cast<char const*>(data->lpData);
    std::size_t length = data->cbData;
    if (length > 0) {
        void const* nul = std::memchr(bytes, '\0', length);
        length = nul ? static_cast<char const*>(nul) - bytes : length;
    }
    return std::string(bytes, length);
}

bool SendText(HWND from, HWND to, std::string const& text, unsigned timeoutMs) {
    COPYDATASTRUCT data{};
    data.cbData = static_cast<DWORD>(text.size() + 1);
    data.lpData = const_cast<char*>(text.c_str());
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(to, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                               reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, timeoutMs, &result) != 0;
}

}  // namespace skypesim
