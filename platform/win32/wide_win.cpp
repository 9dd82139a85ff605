// UTF-8 to wide and back (see wide_win.h).
#include "platform/win32/wide_win.h"

#include <windows.h>

#include <climits>

bool WinWiden(const char* text, wchar_t* out, size_t count) {
    int n = count > INT_MAX ? INT_MAX : static_cast<int>(count);
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out, n) > 0;
}

bool WinNarrow(const wchar_t* wide, char* out, size_t size) {
    int n = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    return WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, n, nullptr, nullptr) > 0;
}
