// UTF-8 to wide and back (see wide_win.h).
#include "platform/platform.h"
#include "platform/win32/wide_win.h"

#include <windows.h>

#include <climits>
#include <cstring>

bool WinWiden(const char* text, wchar_t* out, size_t count) {
    int n = count > INT_MAX ? INT_MAX : static_cast<int>(count);
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out, n) > 0;
}

bool WinNarrow(const wchar_t* wide, char* out, size_t size) {
    int n = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    return WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, n, nullptr, nullptr) > 0;
}

// The ANSI code pages hold only characters of the Basic Multilingual Plane, so the wide text
// has no surrogate pairs, and cutting it between two of its units cuts between characters.
bool PlatformAnsiToUtf8(const char* text, char* out, size_t size) {
    if (size == 0) {
        return false;
    }
    out[0] = '\0';
    wchar_t wide[WIN_PATH_CHARS];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, WIN_PATH_CHARS) <= 0) {
        return false;
    }
    if (WinNarrow(wide, out, size)) {
        return true;
    }
    size_t len = 0;
    for (const wchar_t* c = wide; *c != 0; ++c) {
        char one[4];
        int bytes = WideCharToMultiByte(CP_UTF8, 0, c, 1, one, sizeof(one), nullptr, nullptr);
        if (bytes <= 0 || len + static_cast<size_t>(bytes) >= size) {
            break;
        }
        memcpy(out + len, one, static_cast<size_t>(bytes));
        len += static_cast<size_t>(bytes);
    }
    out[len] = '\0';
    return false;
}
