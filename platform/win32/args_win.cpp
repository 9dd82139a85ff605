// Win32 backend: the argument vector is split from the process's wide command line by the
// system's own rules; the runtime's argv is not used.
#include "platform/backend.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>

namespace {
// The narrow copies, owned here and handed to PlatformArgsSet. Written by PlatformArgsInit,
// on the main thread before any other thread exists; they live until the process ends.
int ArgCount = 0;
char** ArgVector = nullptr;

// The argument as UTF-8, in memory of its own; null when the conversion fails.
char* ToNarrow(const wchar_t* wide) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return nullptr;
    }
    auto* text = static_cast<char*>(malloc(static_cast<size_t>(size)));
    if (text == nullptr ||
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, size, nullptr, nullptr) != size) {
        free(text);
        return nullptr;
    }
    return text;
}

// Frees the narrow copies of an earlier call (only tests call this more than once).
void DropArgs() {
    for (int i = 0; i < ArgCount; ++i) {
        free(ArgVector[i]);
    }
    free(ArgVector);
    ArgVector = nullptr;
    ArgCount = 0;
}
} // namespace

void PlatformArgsInit(int, char**) {
    PlatformArgsSet(0, nullptr);
    DropArgs();
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return;
    }
    auto** narrow = static_cast<char**>(calloc(static_cast<size_t>(count), sizeof(char*)));
    if (narrow != nullptr) {
        for (int i = 0; i < count; ++i) {
            narrow[i] = ToNarrow(wide[i]); // null reads as an absent argument
        }
        ArgVector = narrow;
        ArgCount = count;
        PlatformArgsSet(count, narrow);
    }
    LocalFree(wide);
}
