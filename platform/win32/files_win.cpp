// Win32 backend: files, directory search, dynamic libraries and the library store.
#include "platform/backend.h"
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

// <windows.h> maps these names onto the A/W calls; here they are members of the OS table.
#undef DeleteFile

// A PlatformDirSearch* is the Win32 search handle itself; the struct is never defined.

namespace {

bool WinCurrentDir(char* out, size_t size) {
    if (size == 0 || size > MAXDWORD) {
        return false;
    }
    // The length without the terminator when it fits, the size needed otherwise.
    DWORD len = GetCurrentDirectoryA(static_cast<DWORD>(size), out);
    return len != 0 && len < size;
}

// The target must not exist: MoveFileA does not replace a file.
bool WinRenameFile(const char* from, const char* to) {
    return MoveFileA(from, to) != 0;
}

bool WinDeleteFile(const char* path) {
    return DeleteFileA(path) != 0;
}

// Gives the bare name of the current entry, or of the next one whose name fits `name`.
bool NameOrNext(HANDLE handle, WIN32_FIND_DATAA* data, char* name, size_t size) {
    do {
        if (PlatformCopyName(data->cFileName, name, size)) {
            return true;
        }
    } while (FindNextFileA(handle, data));
    return false;
}

// The pattern is the prefix + "*.*", which the system matches as "every name that begins
// with the prefix's last component" (without regard to case).
PlatformDirSearch* WinFindFirst(const char* prefix, char* name, size_t size) {
    char pattern[1024]; // the system refuses patterns beyond its own path limit
    int n = snprintf(pattern, sizeof(pattern), "%s*.*", prefix);
    if (n < 0 || static_cast<size_t>(n) >= sizeof(pattern)) {
        return nullptr;
    }
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern, &data);
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
    WIN32_FIND_DATAA data;
    return FindNextFileA(handle, &data) && NameOrNext(handle, &data, name, size);
}

void WinFindClose(PlatformDirSearch* search) {
    if (search != nullptr) {
        ::FindClose(reinterpret_cast<HANDLE>(search));
    }
}

void* WinLoadLibraryPath(const char* path) {
    return LoadLibraryA(path);
}

void* WinLibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace

void BackendFilesReset(PlatformOs& os) {
    os.CurrentDir = WinCurrentDir;
    os.RenameFile = WinRenameFile;
    os.DeleteFile = WinDeleteFile;
    os.FindFirst = WinFindFirst;
    os.FindNext = WinFindNext;
    os.FindClose = WinFindClose;
    os.LoadLibraryPath = WinLoadLibraryPath;
    os.LibrarySymbol = WinLibrarySymbol;
}

const char* PlatformStoreDir() {
    return "c:\\Windows\\winsxs\\";
}

const char* PlatformStoreListingDir() {
    return "\\Windows\\winsxs\\";
}
