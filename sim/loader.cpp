// The simulator library loader (see sim/loader.h).
#include "sim/loader.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "sim/simconnect_api.h"
#include "support/log.h"
#include "support/process.h"

// Written only by LoadSimConnect, on the main thread before any worker thread exists; read
// afterwards by every thread without a lock (it never changes again).
SimApiTable SimApi = {};

const char* const SIM_VERSIONS[SIM_VERSION_COUNT] = {"10.0.61259.0", "10.0.61242.0",
                                                     "10.0.60905.0"};
const char* const SIM_STEAM_VERSIONS[SIM_STEAM_VERSION_COUNT] = {
    "10.0.62615.0", "10.0.62614.0", "10.0.62613.0", "10.0.62612.0", "10.0.62611.0",
    "10.0.62610.0", "10.0.62609.0", "10.0.62608.0", "10.0.62607.0"};

// See sim/loader.h: written by the settings reader before LoadSimConnect, then only read.
SimLibrarySettings SimLibrarySetting = {};

namespace {

constexpr int32_t LOADER_LOG_LEVEL = 10;

// One entry point: its exported name, the log line when it is missing, and where it goes.
struct EntryPoint {
    const char* Name;
    const char* Missing;
    void (*Store)(void* address);
};

// In binding order; the order of SimApiTable.
const EntryPoint ENTRY_POINTS[] = {
    {"SimConnect_Open", "GPA() fail on SimOpen\n",
     [](void* p) { SimApi.Open = reinterpret_cast<SimOpenFn>(p); }},
    {"SimConnect_RetrieveString", "GPA() fail on RetrieveString\n",
     [](void* p) { SimApi.RetrieveString = reinterpret_cast<SimRetrieveStringFn>(p); }},
    {"SimConnect_WeatherRequestCloudState", "GPA() fail on WeatherRequestCloudState\n",
     [](void* p) {
         SimApi.WeatherRequestCloudState = reinterpret_cast<SimWeatherRequestCloudStateFn>(p);
     }},
    {"SimConnect_SetInputGroupState", "GPA() fail on SetInputState\n",
     [](void* p) { SimApi.SetInputGroupState = reinterpret_cast<SimSetInputGroupStateFn>(p); }},
    {"SimConnect_SubscribeToSystemEvent", "GPA() fail on SubscribeToEvent\n",
     [](void* p) {
         SimApi.SubscribeToSystemEvent = reinterpret_cast<SimSubscribeToSystemEventFn>(p);
     }},
    {"SimConnect_AddToDataDefinition", "GPA() fail on AddToData\n",
     [](void* p) { SimApi.AddToDataDefinition = reinterpret_cast<SimAddToDataDefinitionFn>(p); }},
    {"SimConnect_RequestDataOnSimObject", "GPA() fail on RequestSimObjectData\n",
     [](void* p) {
         SimApi.RequestDataOnSimObject = reinterpret_cast<SimRequestDataOnSimObjectFn>(p);
     }},
    {"SimConnect_MapInputEventToClientEvent", "GPA() fail on MapInputToClientEvent\n",
     [](void* p) {
         SimApi.MapInputEventToClientEvent = reinterpret_cast<SimMapInputEventToClientEventFn>(p);
     }},
    {"SimConnect_MapClientEventToSimEvent", "GPA() fail on MapToSimEvent\n",
     [](void* p) {
         SimApi.MapClientEventToSimEvent = reinterpret_cast<SimMapClientEventToSimEventFn>(p);
     }},
    {"SimConnect_AddClientEventToNotificationGroup", "GPA() fail on AddToNotifyGroup\n",
     [](void* p) {
         SimApi.AddClientEventToNotificationGroup =
             reinterpret_cast<SimAddClientEventToNotificationGroupFn>(p);
     }},
    {"SimConnect_Close", "GPA() fail on SimClose\n",
     [](void* p) { SimApi.Close = reinterpret_cast<SimCloseFn>(p); }},
    {"SimConnect_CallDispatch", "GPA() fail on CallDisplatch\n",
     [](void* p) { SimApi.CallDispatch = reinterpret_cast<SimCallDispatchFn>(p); }},
    {"SimConnect_RequestDataOnSimObjectType", "GPA() fail on ReqDataSimType\n",
     [](void* p) {
         SimApi.RequestDataOnSimObjectType = reinterpret_cast<SimRequestDataOnSimObjectTypeFn>(p);
     }},
    {"SimConnect_SetDataOnSimObject", "GPA() fail on SetData\n",
     [](void* p) { SimApi.SetDataOnSimObject = reinterpret_cast<SimSetDataOnSimObjectFn>(p); }},
    {"SimConnect_TransmitClientEvent", "GPA() fail on TransmitEvent\n",
     [](void* p) { SimApi.TransmitClientEvent = reinterpret_cast<SimTransmitClientEventFn>(p); }},
};
static_assert(sizeof(ENTRY_POINTS) / sizeof(ENTRY_POINTS[0]) == 15);
static_assert(sizeof(SimApiTable) == 15 * sizeof(void*));

// Formats into `out` of `size` bytes; true when the whole text fitted. A text that does not
// fit is cut at the buffer's end, never beyond it.
bool FormatInto(char* out, size_t size, const char* format, const char* a, const char* b) {
    int n = snprintf(out, size, format, a, b);
    return n >= 0 && static_cast<size_t>(n) < size;
}

void LogWithName(size_t size, const char* format, const char* arg) {
    char line[SIM_FIND_LOG_TEXT_SIZE];
    if (size > sizeof(line)) {
        size = sizeof(line);
    }
    snprintf(line, size, format, arg);
    SimLogLevel(LOADER_LOG_LEVEL, line);
}

// Binds every entry point of `library`; false (after its log line) at the first missing one.
// The slots filled before it stay filled.
bool BindEntryPoints(void* library) {
    for (const EntryPoint& entry : ENTRY_POINTS) {
        void* address = Os.LibrarySymbol(library, entry.Name);
        if (address == nullptr) {
            SimLogLevel(LOADER_LOG_LEVEL, entry.Missing);
            return false;
        }
        entry.Store(address);
    }
    return true;
}

void ReportNotFound() {
    ConsolePrint("DLL not found\n");
    ConsolePrint("Please check KivFsx.log for list of found DLLs and forward to %s\nThank you!\n",
                 SIM_SUPPORT_ADDRESS);
    SimLogLevel(LOADER_LOG_LEVEL, "No suitable Dll found\n");
    char prefix[SIM_PATH_SIZE];
    // A listing prefix cut short would list entries of other names: list nothing instead.
    if (FormatInto(prefix, sizeof(prefix), "%s%s", PlatformStoreListingDir(), SIM_LISTING_PREFIX)) {
        ListDllDirs(prefix);
    }
}

} // namespace

bool FindDllDir(const char* prefix, char* name, size_t size) {
    PlatformDirSearch* search = Os.FindFirst(prefix, name, size);
    if (search == nullptr) {
        return false;
    }
    LogWithName(SIM_FIND_LOG_TEXT_SIZE, "Found: %s\n", name);
    Os.FindClose(search);
    return true;
}

void ListDllDirs(const char* prefix) {
    char name[SIM_PATH_SIZE];
    PlatformDirSearch* search = Os.FindFirst(prefix, name, sizeof(name));
    if (search == nullptr) {
        return;
    }
    do {
        LogWithName(SIM_FIND_LOG_TEXT_SIZE, "Found DLL: %s\n", name);
    } while (Os.FindNext(search, name, sizeof(name)));
    Os.FindClose(search);
}

namespace {

// One store version: false when the store has no entry for it; otherwise the load's result
// (0 or -1) in `result`. Later versions are then not tried.
bool TryStoreVersion(const char* store, const char* version, int32_t* result) {
    LogWithName(SIM_LOG_TEXT_SIZE, "Looking for DLL: %s\n", version);
    char candidate[SIM_PATH_SIZE];
    char prefix[SIM_PATH_SIZE];
    // A candidate cut short by the path limit would match other builds' entries; such a
    // store cannot hold this build under a usable path, so the version counts as absent.
    if (!FormatInto(prefix, sizeof(prefix), "%s%s", store, SIM_ENTRY_PREFIX) ||
        !FormatInto(candidate, sizeof(candidate), "%s%s", prefix, version)) {
        return false;
    }
    char entry[SIM_PATH_SIZE];
    if (!FindDllDir(candidate, entry, sizeof(entry))) {
        return false;
    }
    char path[SIM_PATH_SIZE];
    int n =
        snprintf(path, sizeof(path), "%s%s%c%s", store, entry, PLATFORM_DIR_SEP, SIM_LIBRARY_FILE);
    bool complete = n >= 0 && static_cast<size_t>(n) < sizeof(path);
    LogWithName(SIM_LOG_TEXT_SIZE, "File: %s Exists\n", path);
    // A path cut at the limit names some other file: it is not loaded.
    void* library = complete ? Os.LoadLibraryPath(path) : nullptr;
    if (library == nullptr) {
        SimLogLevel(LOADER_LOG_LEVEL, "Library did not load\n");
        *result = -1;
        return true;
    }
    *result = BindEntryPoints(library) ? 0 : -1;
    return true;
}

// The library the settings name (a whole path: the settings reader made it whole, so the file
// checked is the file loaded). True when it is loaded and bound; otherwise one line says what
// was wrong with it, and what happens instead.
bool LoadNamedLibrary(const char* path, bool storeServes) {
    char storeOnly[120];
    snprintf(storeOnly, sizeof(storeOnly),
             "; the store holds only %d-bit builds, so no library is loaded",
             static_cast<int>(Os.StoreLibraryBits()));
    const char* fallback = storeServes ? "; searching the store as usual" : storeOnly;
    char shown[SHOWN_VALUE_SIZE];
    ShownValue(path, strlen(path), shown);
    FILE* probe = Os.OpenFile(path, "r");
    if (probe == nullptr) {
        ConsoleAndLog("Setting simconnect = %s not used: no file at this path (is the settings "
                      "file saved as UTF-8?)%s\n",
                      shown, fallback);
        return false;
    }
    fclose(probe);
    void* library = Os.LoadLibraryPath(path);
    if (library == nullptr) {
        uint32_t error = Os.LibraryLoadError();
        if (error == PLATFORM_LOAD_BAD_FORMAT) {
            ConsoleAndLog("Setting simconnect = %s not used: not a %d-bit library (LoadLibrary "
                          "error 193, wrong bitness); this %d-bit KivFSX needs a %d-bit "
                          "SimConnect.dll%s\n",
                          shown, SIM_BUILD_BITS, SIM_BUILD_BITS, SIM_BUILD_BITS, fallback);
        } else {
            ConsoleAndLog("Setting simconnect = %s not used: the library did not load "
                          "(LoadLibrary error %u)%s\n",
                          shown, static_cast<unsigned>(error), fallback);
        }
        return false;
    }
    if (!BindEntryPoints(library)) {
        ConsoleAndLog("Setting simconnect = %s not used: an entry point is missing (see the "
                      "log)%s\n",
                      shown, fallback);
        return false;
    }
    ConsoleAndLog("Loaded %s (setting simconnect)\n", shown);
    return true;
}

} // namespace

bool SimStoreServesThisBuild() {
    return Os.StoreLibraryBits() == SIM_BUILD_BITS;
}

int32_t LoadSimConnect() {
    const bool storeServes = SimStoreServesThisBuild();
    const bool named = SimLibrarySetting.Path[0] != '\0';
    if (named && LoadNamedLibrary(SimLibrarySetting.Path, storeServes)) {
        return 0;
    }
    if (!storeServes) {
        // A search could only find libraries this build cannot load.
        if (!named) {
            ConsoleAndLog("This %d-bit KivFSX needs the setting simconnect = the path of a %d-bit "
                          "SimConnect.dll (such as MSFS's own) in kivfsx-settings.txt: the store "
                          "holds only %d-bit builds, which it cannot load\n",
                          SIM_BUILD_BITS, SIM_BUILD_BITS, static_cast<int>(Os.StoreLibraryBits()));
        }
        return -1;
    }
    const bool steam = SimLibrarySetting.SteamBuilds;
    SimLogLevelf(LOADER_LOG_LEVEL, "%d items in list\n",
                 SIM_VERSION_COUNT + (steam ? SIM_STEAM_VERSION_COUNT : 0));
    const char* store = PlatformStoreDir();
    int32_t result = -1;
    for (const char* version : SIM_VERSIONS) {
        if (TryStoreVersion(store, version, &result)) {
            return result;
        }
    }
    for (int32_t i = 0; steam && i < SIM_STEAM_VERSION_COUNT; ++i) {
        if (TryStoreVersion(store, SIM_STEAM_VERSIONS[i], &result)) {
            return result;
        }
    }
    ReportNotFound();
    return -1;
}
