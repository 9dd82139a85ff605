// Finding and loading the simulator's client library at start-up. The library is neither
// linked with the program nor looked up on the search path: one of three known builds is
// taken from the side-by-side store by full path, and its 15 entry points are bound into
// SimApi (sim/simconnect_api.h).
#pragma once

#include <cstddef>
#include <cstdint>

// Builds we accept, in order of preference.
constexpr int32_t SIM_VERSION_COUNT = 3;
extern const char* const SIM_VERSIONS[SIM_VERSION_COUNT];
// The builds of FSX Steam Edition, newest first, tried after those above when the settings
// ask for them.
constexpr int32_t SIM_STEAM_VERSION_COUNT = 9;
extern const char* const SIM_STEAM_VERSIONS[SIM_STEAM_VERSION_COUNT];

// Store entry names of the library builds: this prefix, then the version, then more fields.
constexpr const char* SIM_ENTRY_PREFIX =
    "x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_";
// Listing prefix for the report after a failed search: every build, whatever its version.
constexpr const char* SIM_LISTING_PREFIX = "x86_microsoft.flightsimulator.simconnect";
constexpr const char* SIM_LIBRARY_FILE = "SimConnect.dll";

// Where the operator is asked to send the list of builds found.
constexpr const char* SIM_SUPPORT_ADDRESS = "support@kivfsx.example";

// Path buffers hold 260 characters with the terminator; log texts 300 (310 for the two
// directory searches).
constexpr size_t SIM_PATH_SIZE = 260;
constexpr size_t SIM_LOG_TEXT_SIZE = 300;
constexpr size_t SIM_FIND_LOG_TEXT_SIZE = 310;

// A path the settings name may have up to SIM_PATH_SIZE - 1 characters, counted as Windows
// counts them (UTF-16 units); in UTF-8 each takes up to 3 bytes (4 for a pair of units).
constexpr size_t SIM_SETTING_PATH_SIZE = (SIM_PATH_SIZE - 1) * 3 + 1;

// The bitness of this build: a library must have it to load.
constexpr int32_t SIM_BUILD_BITS = static_cast<int32_t>(sizeof(void*) * 8);
// True when the store's libraries can load into this build (Os.StoreLibraryBits): not so for
// the x86_64 build on Windows, whose store holds only 32-bit builds.
bool SimStoreServesThisBuild();

// The user's opt-in library settings. Written by main's settings reader before
// LoadSimConnect, on the main thread before any worker thread exists; only read afterwards.
// All zero: the store is searched for the three builds above, exactly as without settings.
struct SimLibrarySettings {
    char Path[SIM_SETTING_PATH_SIZE]; // a whole path, loaded instead of searching ("": none)
    bool SteamBuilds;                 // the store search also accepts SIM_STEAM_VERSIONS
};
extern SimLibrarySettings SimLibrarySetting;

// Loads the library and fills SimApi. A library named by the settings is tried first; when it
// cannot be used, a line says why and the store is searched as usual. A build that the store
// cannot serve (SimStoreServesThisBuild) searches nothing: without a library named by the
// settings it says in one line that it needs one, and why. 0 when all 15 entry points
// are bound, -1 on every failure (reported to the log and, when no build is found, to the console).
// Main thread, once, before any worker thread exists.
int32_t LoadSimConnect();

// Searches the store for entries whose path begins with `prefix`. When one matches, logs
// "Found: <name>", copies its bare name into `name` and returns true.
bool FindDllDir(const char* prefix, char* name, size_t size);
// Logs "Found DLL: <name>" for every entry whose path begins with `prefix`.
void ListDllDirs(const char* prefix);
