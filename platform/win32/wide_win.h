// The Win32 backend's conversions between the program's UTF-8 texts and the wide texts of
// the system's W calls.
#pragma once

#include <cstddef>

// Converts `text` into `out` (`count` wide characters with the terminator); false when it
// is not UTF-8 or does not fit.
bool WinWiden(const char* text, wchar_t* out, size_t count);
// Converts `wide` into `out` (`size` bytes with the terminator); false when it does not fit.
bool WinNarrow(const wchar_t* wide, char* out, size_t size);

// Room for the paths the program builds (all well below the system's limit).
constexpr size_t WIN_PATH_CHARS = 1024;
