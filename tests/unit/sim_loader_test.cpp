// The simulator library loader: which store entry is chosen, what is logged and printed, and
// how every entry point is bound, against a fake store and library in the OS table (and, where
// the store is a plain directory, against real directories).
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/loader.h"
#include "sim/simconnect_api.h"
#include "sim_fake.h"
#include "support/log.h"

namespace {

const char* const ENTRY_NAMES[15] = {"SimConnect_Open",
                                     "SimConnect_RetrieveString",
                                     "SimConnect_WeatherRequestCloudState",
                                     "SimConnect_SetInputGroupState",
                                     "SimConnect_SubscribeToSystemEvent",
                                     "SimConnect_AddToDataDefinition",
                                     "SimConnect_RequestDataOnSimObject",
                                     "SimConnect_MapInputEventToClientEvent",
                                     "SimConnect_MapClientEventToSimEvent",
                                     "SimConnect_AddClientEventToNotificationGroup",
                                     "SimConnect_Close",
                                     "SimConnect_CallDispatch",
                                     "SimConnect_RequestDataOnSimObjectType",
                                     "SimConnect_SetDataOnSimObject",
                                     "SimConnect_TransmitClientEvent"};

// The fake store: bare entry names under PlatformStoreDir(), searched in list order.
std::vector<std::string> StoreEntries;
std::vector<std::string> SearchPrefixes;
std::vector<std::string> LoadedPaths;
bool LibraryLoads = true;
std::string MissingSymbol;
int OpenSearches = 0;

struct FakeSearch {
    std::string Rest;
    size_t Next;
};
FakeSearch Search;
char SearchToken;

bool NextEntry(char* name, size_t size) {
    for (; Search.Next < StoreEntries.size(); ++Search.Next) {
        const std::string& e = StoreEntries[Search.Next];
        if (e.compare(0, Search.Rest.size(), Search.Rest) == 0 && e.size() < size) {
            snprintf(name, size, "%s", e.c_str());
            ++Search.Next;
            return true;
        }
    }
    return false;
}

PlatformDirSearch* FakeFindFirst(const char* prefix, char* name, size_t size) {
    SearchPrefixes.push_back(prefix);
    std::string p = prefix;
    // The candidates name the store with its drive, the listing without it (on Windows).
    std::string store = PlatformStoreDir();
    std::string listing = PlatformStoreListingDir();
    if (p.compare(0, store.size(), store) == 0) {
        Search = {p.substr(store.size()), 0};
    } else if (p.compare(0, listing.size(), listing) == 0) {
        Search = {p.substr(listing.size()), 0};
    } else {
        return nullptr;
    }
    if (!NextEntry(name, size)) {
        return nullptr;
    }
    ++OpenSearches;
    return reinterpret_cast<PlatformDirSearch*>(&SearchToken);
}

bool FakeFindNext(PlatformDirSearch* s, char* name, size_t size) {
    EXPECT_EQ(s, reinterpret_cast<PlatformDirSearch*>(&SearchToken));
    return NextEntry(name, size);
}

void FakeFindClose(PlatformDirSearch* s) {
    EXPECT_EQ(s, reinterpret_cast<PlatformDirSearch*>(&SearchToken));
    --OpenSearches;
}

void* FakeLoad(const char* path) {
    LoadedPaths.push_back(path);
    return LibraryLoads ? reinterpret_cast<void*>(&LoadedPaths) : nullptr;
}

// Each entry point "lives" at the address of its name in ENTRY_NAMES.
void* FakeSymbol(void* library, const char* name) {
    EXPECT_EQ(library, reinterpret_cast<void*>(&LoadedPaths));
    for (const char* const& entry : ENTRY_NAMES) {
        if (std::string(entry) == name && MissingSymbol != name) {
            return const_cast<char*>(reinterpret_cast<const char*>(&entry));
        }
    }
    return nullptr;
}

void* Slot(int i) {
    void* slots[15];
    memcpy(slots, &SimApi, sizeof(slots));
    return slots[i];
}

std::string Entry(const char* version, const char* tail = "_none_4bf5400abf9d60b7") {
    return std::string(SIM_ENTRY_PREFIX) + version + tail;
}

class LoaderTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        SimApi = SimApiTable{};
        StoreEntries.clear();
        SearchPrefixes.clear();
        LoadedPaths.clear();
        LibraryLoads = true;
        MissingSymbol.clear();
        OpenSearches = 0;
        Os.FindFirst = FakeFindFirst;
        Os.FindNext = FakeFindNext;
        Os.FindClose = FakeFindClose;
        Os.LoadLibraryPath = FakeLoad;
        Os.LibrarySymbol = FakeSymbol;
    }
    void TearDown() override {
        EXPECT_EQ(OpenSearches, 0) << "a directory search was left open";
        SimTest::TearDown();
    }
    int32_t Load(std::string* console = nullptr) {
        testing::internal::CaptureStdout();
        int32_t result = LoadSimConnect();
        std::string out = testing::internal::GetCapturedStdout();
        if (console != nullptr) {
            *console = out;
        }
        return result;
    }
    static std::string LibraryPath(const std::string& entry) {
        return std::string(PlatformStoreDir()) + entry + PLATFORM_DIR_SEP + "SimConnect.dll";
    }
};

} // namespace

TEST_F(LoaderTest, TheFirstInstalledVersionInPreferenceOrderIsLoadedAndBound) {
    StoreEntries = {"x86_unrelated", Entry("10.0.60905.0"), Entry("10.0.61242.0")};
    std::string console;
    ASSERT_EQ(Load(&console), 0);
    EXPECT_EQ(console, "");
    ASSERT_EQ(LoadedPaths, std::vector<std::string>{LibraryPath(Entry("10.0.61242.0"))});
    EXPECT_EQ(Log(), "Log started.\n3 items in list\nLooking for DLL: 10.0.61259.0\n"
                     "Looking for DLL: 10.0.61242.0\nFound: " +
                         Entry("10.0.61242.0") + "\nFile: " + LibraryPath(Entry("10.0.61242.0")) +
                         " Exists\n");
    EXPECT_EQ(SearchPrefixes[0], std::string(PlatformStoreDir()) + Entry("10.0.61259.0", ""));
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(Slot(i), &ENTRY_NAMES[i]) << ENTRY_NAMES[i];
    }
    // With the preferred version present the others are never searched.
    StoreEntries = {Entry("10.0.60905.0"), Entry("10.0.61259.0")};
    SearchPrefixes.clear();
    LoadedPaths.clear();
    ASSERT_EQ(Load(), 0);
    EXPECT_EQ(LoadedPaths, std::vector<std::string>{LibraryPath(Entry("10.0.61259.0"))});
    EXPECT_EQ(SearchPrefixes.size(), 1u);
}

TEST_F(LoaderTest, ALibraryThatDoesNotLoadEndsTheSearch) {
    StoreEntries = {Entry("10.0.61259.0"), Entry("10.0.61242.0")};
    LibraryLoads = false;
    ASSERT_EQ(Load(), -1);
    std::string log = Log();
    EXPECT_NE(
        log.find("File: " + LibraryPath(Entry("10.0.61259.0")) + " Exists\nLibrary did not load\n"),
        std::string::npos);
    EXPECT_EQ(log.find("Looking for DLL: 10.0.61242.0"), std::string::npos);
    EXPECT_EQ(LoadedPaths.size(), 1u);

    // A directory name so long that the library path would be cut: it is reported but the
    // cut path is not handed to the loader.
    StoreEntries = {Entry("10.0.61259.0", ("_" + std::string(180, 'x')).c_str())};
    LoadedPaths.clear();
    LibraryLoads = true;
    ASSERT_EQ(Load(), -1);
    EXPECT_TRUE(LoadedPaths.empty());
}

TEST_F(LoaderTest, EveryEntryPointIsRequiredAndNamedWhenMissing) {
    const char* const names[15] = {"SimOpen",
                                   "RetrieveString",
                                   "WeatherRequestCloudState",
                                   "SetInputState",
                                   "SubscribeToEvent",
                                   "AddToData",
                                   "RequestSimObjectData",
                                   "MapInputToClientEvent",
                                   "MapToSimEvent",
                                   "AddToNotifyGroup",
                                   "SimClose",
                                   "CallDisplatch",
                                   "ReqDataSimType",
                                   "SetData",
                                   "TransmitEvent"};
    StoreEntries = {Entry("10.0.61259.0")};
    for (int missing = 0; missing < 15; ++missing) {
        SimApi = SimApiTable{};
        MissingSymbol = ENTRY_NAMES[missing];
        SimLogInit("KivFSX.log");
        ASSERT_EQ(Load(), -1) << MissingSymbol;
        std::string log = Log();
        std::string line = std::string("GPA() fail on ") + names[missing] + "\n";
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), line.size())), line);
        for (int i = 0; i < 15; ++i) {
            EXPECT_EQ(Slot(i), i < missing ? &ENTRY_NAMES[i] : nullptr) << missing << " " << i;
        }
    }
}

TEST_F(LoaderTest, NoBuildFoundAsksForTheListingAndListsEveryBuildInTheStore) {
    StoreEntries = {Entry("10.0.99999.0"), "x86_microsoft.windows.common-controls_1",
                    "x86_microsoft.flightsimulator.simconnect_other_build"};
    std::string console;
    ASSERT_EQ(Load(&console), -1);
    EXPECT_EQ(console, "DLL not found\nPlease check KivFsx.log for list of found DLLs and "
                       "forward to support@kivfsx.example\nThank you!\n");
    EXPECT_NE(Log().find("Looking for DLL: 10.0.60905.0\nNo suitable Dll found\nFound DLL: " +
                         Entry("10.0.99999.0") +
                         "\nFound DLL: x86_microsoft.flightsimulator.simconnect_other_build\n"),
              std::string::npos);
    EXPECT_EQ(Log().find("common-controls"), std::string::npos);
    EXPECT_EQ(SearchPrefixes.back(),
              std::string(PlatformStoreListingDir()) + "x86_microsoft.flightsimulator.simconnect");
    EXPECT_TRUE(LoadedPaths.empty());
}
