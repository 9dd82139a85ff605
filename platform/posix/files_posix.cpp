// POSIX backend: files, directory search, dynamic libraries and the library store.
#include "platform/backend.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

struct PlatformDirSearch {
    DIR* Dir;
    char Prefix[260]; // the name prefix that entries must begin with
};

namespace {

bool PosixCurrentDir(char* out, size_t size) {
    return getcwd(out, size) != nullptr;
}

FILE* PosixOpenFile(const char* path, const char* mode) {
    return fopen(path, mode);
}

bool PosixRenameFile(const char* from, const char* to) {
    return rename(from, to) == 0;
}

bool PosixDeleteFile(const char* path) {
    return unlink(path) == 0;
}

// An absolute path as it is; a relative one joined to the working directory.
bool PosixFullPath(const char* path, char* out, size_t size) {
    if (path[0] == '/') {
        return PlatformCopyName(path, out, size);
    }
    char dir[4096];
    if (getcwd(dir, sizeof(dir)) == nullptr) {
        return false;
    }
    int n = snprintf(out, size, "%s/%s", dir, path);
    return n >= 0 && static_cast<size_t>(n) < size;
}

bool NextMatch(PlatformDirSearch* search, char* name, size_t size) {
    size_t prefixLen = strlen(search->Prefix);
    while (dirent* entry = readdir(search->Dir)) {
        if (strncmp(entry->d_name, search->Prefix, prefixLen) == 0 &&
            PlatformCopyName(entry->d_name, name, size)) {
            return true;
        }
    }
    return false;
}

// `prefix` is a directory, a separator and the beginning of the entry names, as the
// Windows pattern prefix + "*.*" reads it.
PlatformDirSearch* PosixFindFirst(const char* prefix, char* name, size_t size) {
    const char* slash = strrchr(prefix, '/');
    char dir[4096];
    const char* base = prefix;
    if (slash == nullptr) {
        strcpy(dir, ".");
    } else {
        size_t dirLen = static_cast<size_t>(slash - prefix);
        if (dirLen >= sizeof(dir)) {
            return nullptr;
        }
        memcpy(dir, prefix, dirLen);
        dir[dirLen] = '\0';
        if (dirLen == 0) {
            strcpy(dir, "/");
        }
        base = slash + 1;
    }
    auto* search = static_cast<PlatformDirSearch*>(malloc(sizeof(PlatformDirSearch)));
    if (search == nullptr || strlen(base) >= sizeof(search->Prefix)) {
        free(search);
        return nullptr;
    }
    strcpy(search->Prefix, base);
    search->Dir = opendir(dir);
    if (search->Dir == nullptr || !NextMatch(search, name, size)) {
        if (search->Dir != nullptr) {
            closedir(search->Dir);
        }
        free(search);
        return nullptr;
    }
    return search;
}

bool PosixFindNext(PlatformDirSearch* search, char* name, size_t size) {
    return search != nullptr && NextMatch(search, name, size);
}

void PosixFindClose(PlatformDirSearch* search) {
    if (search != nullptr) {
        closedir(search->Dir);
        free(search);
    }
}

// Why the last dlopen of the program failed, in Windows' numbers. Written and read on the
// loading thread only (the main thread at start-up).
uint32_t loadError = 0;

void* PosixLoadLibraryPath(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    PlatformFloatInit(); // the library's start-up code ran on this thread
    if (library == nullptr) {
        // The loader names an image of the other class, or no image at all, in its text.
        const char* why = dlerror();
        bool badFormat = why != nullptr && (strstr(why, "wrong ELF class") != nullptr ||
                                            strstr(why, "invalid ELF header") != nullptr ||
                                            strstr(why, "file too short") != nullptr);
        loadError = badFormat ? PLATFORM_LOAD_BAD_FORMAT : PLATFORM_LOAD_NOT_FOUND;
    }
    return library;
}

uint32_t PosixLibraryLoadError() {
    return loadError;
}

// The stand-in's store (KIVFSX_WINSXS) holds libraries built with the program.
int32_t PosixStoreLibraryBits() {
    return static_cast<int32_t>(sizeof(void*) * 8);
}

void* PosixLibrarySymbol(void* library, const char* name) {
    return dlsym(library, name);
}

} // namespace

void BackendFilesReset(PlatformOs& os) {
    os.CurrentDir = PosixCurrentDir;
    os.OpenFile = PosixOpenFile;
    os.RenameFile = PosixRenameFile;
    os.DeleteFile = PosixDeleteFile;
    os.FullPath = PosixFullPath;
    os.FindFirst = PosixFindFirst;
    os.FindNext = PosixFindNext;
    os.FindClose = PosixFindClose;
    os.LoadLibraryPath = PosixLoadLibraryPath;
    os.LibrarySymbol = PosixLibrarySymbol;
    os.LibraryLoadError = PosixLibraryLoadError;
    os.StoreLibraryBits = PosixStoreLibraryBits;
}

const char* PlatformStoreDir() {
    // Computed on each call: tests point KIVFSX_WINSXS at stores of their own.
    static thread_local char store[1024];
    const char* env = getenv("KIVFSX_WINSXS");
    const char* dir = (env != nullptr && env[0] != '\0') ? env : "winsxs";
    size_t len = strlen(dir);
    if (len + 2 > sizeof(store)) {
        len = sizeof(store) - 2;
    }
    memcpy(store, dir, len);
    if (len == 0 || store[len - 1] != '/') {
        store[len++] = '/';
    }
    store[len] = '\0';
    return store;
}

const char* PlatformStoreListingDir() {
    return PlatformStoreDir();
}
