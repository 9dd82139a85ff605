// Win32 backend: files, directory search, dynamic libraries and the library store.
#include "platform/backend.h"
#include "platform/platform.h"
#include "platform/win32/wide_win.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

// <windows.h> maps these names onto the A/W calls; here they are members of the OS table.
#undef DeleteFile

// A PlatformDirSearch* is the Win32 search handle itself; the struct is never defined.

namespace {

// The working directory in UTF-8.
bool WinCurrentDir(char* out, size_t size) {
    wchar_t wide[WIN_PATH_CHARS];
    // The length without the terminator when it fits, the size needed otherwise.
    DWORD len = GetCurrentDirectoryW(WIN_PATH_CHARS, wide);
    return len != 0 && len < WIN_PATH_CHARS && WinNarrow(wide, out, size);
}

FILE* WinOpenFile(const char* path, const char* mode) {
    wchar_t widePath[WIN_PATH_CHARS];
    wchar_t wideMode[8];
    if (!WinWiden(path, widePath, WIN_PATH_CHARS) || !WinWiden(mode, wideMode, 8)) {
        return nullptr;
    }
    return _wfopen(widePath, wideMode);
}

// The target must not exist: MoveFileW does not replace a file.
bool WinRenameFile(const char* from, const char* to) {
    wchar_t wideFrom[WIN_PATH_CHARS];
    wchar_t wideTo[WIN_PATH_CHARS];
    return WinWiden(from, wideFrom, WIN_PATH_CHARS) && WinWiden(to, wideTo, WIN_PATH_CHARS) &&
           MoveFileW(wideFrom, wideTo) != 0;
}

bool WinDeleteFile(const char* path) {
    wchar_t wide[WIN_PATH_CHARS];
    return WinWiden(path, wide, WIN_PATH_CHARS) && DeleteFileW(wide) != 0;
}

// GetFullPathNameW: the length without the terminator when it fits, the size needed otherwise.
bool WinFullPath(const char* path, char* out, size_t size) {
    wchar_t wide[WIN_PATH_CHARS];
    wchar_t whole[WIN_PATH_CHARS];
    if (!WinWiden(path, wide, WIN_PATH_CHARS)) {
        return false;
    }
    DWORD len = GetFullPathNameW(wide, WIN_PATH_CHARS, whole, nullptr);
    return len != 0 && len < WIN_PATH_CHARS && WinNarrow(whole, out, size);
}

// Gives the bare name of the current entry, or of the next one whose name fits `name`.
bool NameOrNext(HANDLE handle, WIN32_FIND_DATAW* data, char* name, size_t size) {
    do {
        char narrow[WIN_PATH_CHARS];
        if (WinNarrow(data->cFileName, narrow, sizeof(narrow)) &&
            PlatformCopyName(narrow, name, size)) {
            return true;
        }
    } while (FindNextFileW(handle, data));
    return false;
}

// The pattern is the prefix + "*.*", which the system matches as "every name that begins
// with the prefix's last component" (without regard to case).
PlatformDirSearch* WinFindFirst(const char* prefix, char* name, size_t size) {
    char pattern[WIN_PATH_CHARS]; // the system refuses patterns beyond its own path limit
    wchar_t wide[WIN_PATH_CHARS];
    int n = snprintf(pattern, sizeof(pattern), "%s*.*", prefix);
    if (n < 0 || static_cast<size_t>(n) >= sizeof(pattern) ||
        !WinWiden(pattern, wide, WIN_PATH_CHARS)) {
        return nullptr;
    }
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(wide, &data);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (!NameOrNext(handle, &data, name, size)) {
        ::FindClose(handle);
        return nullptr;
    }
    return reinterpret_cast<PlatformDirSearch*>(handle);
}

bool WinFindNext(PlatformDirSearch* search, char* name, size_t size) {
    if (search == nullptr) {
        return false;
    }
    auto handle = reinterpret_cast<HANDLE>(search);
    WIN32_FIND_DATAW data;
    return FindNextFileW(handle, &data) && NameOrNext(handle, &data, name, size);
}

void WinFindClose(PlatformDirSearch* search) {
    if (search != nullptr) {
        ::FindClose(reinterpret_cast<HANDLE>(search));
    }
}

// The system's error code of the last failed load. Written and read on the loading thread
// only (the main thread at start-up).
uint32_t loadError = 0;

void* WinLoadLibraryPath(const char* path) {
    wchar_t wide[WIN_PATH_CHARS];
    if (!WinWiden(path, wide, WIN_PATH_CHARS)) {
        loadError = ERROR_FILENAME_EXCED_RANGE;
        return nullptr;
    }
    HMODULE library = LoadLibraryW(wide);
    if (library == nullptr) {
        loadError = GetLastError();
    }
    PlatformFloatInit(); // the library's start-up code ran on this thread
    return library;
}

uint32_t WinLibraryLoadError() {
    return loadError;
}

// The store's simulator libraries are the x86_ builds, whatever this program's bitness.
int32_t WinStoreLibraryBits() {
    return 32;
}

void* WinLibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace

void BackendFilesReset(PlatformOs& os) {
    os.CurrentDir = WinCurrentDir;
    os.OpenFile = WinOpenFile;
    os.RenameFile = WinRenameFile;
    os.DeleteFile = WinDeleteFile;
    os.FullPath = WinFullPath;
    os.FindFirst = WinFindFirst;
    os.FindNext = WinFindNext;
    os.FindClose = WinFindClose;
    os.LoadLibraryPath = WinLoadLibraryPath;
    os.LibrarySymbol = WinLibrarySymbol;
    os.LibraryLoadError = WinLibraryLoadError;
    os.StoreLibraryBits = WinStoreLibraryBits;
}

const char* PlatformStoreDir() {
    return "c:\\Windows\\winsxs\\";
}

const char* PlatformStoreListingDir() {
    return "\\Windows\\winsxs\\";
}
