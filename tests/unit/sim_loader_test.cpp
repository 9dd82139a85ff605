// The simulator library loader: which store entry is chosen, what is logged and printed, and
// how the entry points are bound. The store is a real directory standing in for the
// platform's; a library file in it loads the stand-in.
#include <cstring>
#include <set>

#include "sim/loader.h"
#include "sim_standin.h"

namespace {

std::vector<std::pair<std::string, void*>> Symbols; // the lookups of the last load, in order
size_t MissingLookup = SIZE_MAX;                    // the lookup that finds nothing
std::vector<std::string> LoadedPaths;
PlatformOs Inner;

void* Slot(size_t i) {
    void* slots[15];
    memcpy(slots, &SimApi, sizeof(slots));
    return slots[i];
}

std::string Found(const std::string& entry) {
    std::string path = PlatformStoreDir() + entry + PLATFORM_DIR_SEP + "SimConnect.dll";
    return "Found: " + entry + "\nFile: " + path + " Exists\n";
}

class LoaderTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        SimApi = SimApiTable{};
        RedirectStore(Dir / "store");
        Inner = Os;
        Os.LibrarySymbol = [](void* library, const char* name) {
            void* at =
                Symbols.size() == MissingLookup ? nullptr : Inner.LibrarySymbol(library, name);
            return Symbols.emplace_back(name, at).second;
        };
        Os.LoadLibraryPath = [](const char* path) {
            LoadedPaths.push_back(path);
            return Inner.LoadLibraryPath(path);
        };
        LoadedPaths.clear();
        SimLibrarySetting = SimLibrarySettings{};
    }
    void TearDown() override {
        SimLibrarySetting = SimLibrarySettings{};
        EXPECT_EQ(OpenSearches, 0) << "a directory search was left open";
        SimTest::TearDown();
    }
    // Store entries, each holding a library file unless `empty`.
    void Install(const std::vector<std::string>& entries, bool empty = false) {
        for (const std::string& e : entries) {
            std::filesystem::create_directories(Dir / "store" / e);
            WriteFile(Dir / "store" / e / (empty ? "other.txt" : "SimConnect.dll"), "");
        }
    }
    // Loads, expecting `result`; the log lines that the load added.
    std::string Load(int32_t result) {
        size_t before = Log().size();
        Symbols.clear();
        Shown = Console([result] { EXPECT_EQ(LoadSimConnect(), result); });
        return Log().substr(before);
    }
    std::string Shown; // what the last load printed
};

const std::string LOOK = "3 items in list\nLooking for DLL: 10.0.61259.0\n";

} // namespace

TEST_F(LoaderTest, TheFirstInstalledVersionInPreferenceOrderIsLoadedAndBound) {
    Install({"x86_unrelated", StoreEntry("10.0.60905.0"), StoreEntry("10.0.61242.0")});
    EXPECT_EQ(Load(0),
              LOOK + "Looking for DLL: 10.0.61242.0\n" + Found(StoreEntry("10.0.61242.0")));
    EXPECT_EQ(Shown, "");
    EXPECT_EQ(LoadedPaths.size(), 1u);
    // Each slot of the table holds the entry point looked up for it, in table order.
    ASSERT_EQ(Symbols.size(), 15u);
    for (size_t i = 0; i < 15; ++i) {
        EXPECT_EQ(Slot(i), Symbols[i].second) << Symbols[i].first;
    }
    // The entry points the program never calls itself are bound by their right names too.
    SimApi.WeatherRequestCloudState(nullptr, 0, 0, 0, 0, 0, 0, 0, 0);
    SimApi.Close(nullptr);
    SimApi.SetDataOnSimObject(nullptr, 0, 0, 0, 0, 0, nullptr);
    std::string called;
    for (const std::string& line : Journal("CALL ")) {
        called += line.substr(5, line.find(' ', 5) - 4);
    }
    EXPECT_EQ(called, "WeatherRequestCloudState Close SetDataOnSimObject ");
}

TEST_F(LoaderTest, ALibraryThatDoesNotLoadEndsTheSearch) {
    Install({StoreEntry()}, /*empty=*/true);
    Install({StoreEntry("10.0.61242.0")});
    EXPECT_EQ(Load(-1), LOOK + Found(StoreEntry()) + "Library did not load\n");
    EXPECT_EQ(LoadedPaths.size(), 1u);
    // An entry name so long that the library path would be cut: the cut path is not loaded.
    std::filesystem::remove_all(Dir / "store");
    const std::string longEntry = StoreEntry("10.0.61259.0_" + std::string(150, 'x'));
    Install({longEntry});
    LoadedPaths.clear();
    Load(-1);
    EXPECT_TRUE(LoadedPaths.empty());
    // Windows removes nothing by a path that long: the entry goes by its name, from inside
    // the store.
    std::error_code ec;
    std::filesystem::current_path(Dir / "store", ec);
    std::filesystem::remove(std::filesystem::path(longEntry) / "SimConnect.dll", ec);
    std::filesystem::remove(longEntry, ec);
    std::filesystem::current_path(Dir, ec);
}

TEST_F(LoaderTest, EveryEntryPointIsRequiredAndNamedWhenMissing) {
    Install({StoreEntry()});
    std::vector<std::string> reports;
    for (MissingLookup = 0; MissingLookup < 15; ++MissingLookup) {
        SimApi = SimApiTable{};
        std::string logged = Load(-1);
        reports.push_back(logged.substr(logged.rfind("GPA() fail on ")));
        for (size_t i = 0; i < 15; ++i) {
            EXPECT_EQ(Slot(i) != nullptr, i < MissingLookup) << MissingLookup << " " << i;
        }
    }
    MissingLookup = SIZE_MAX;
    EXPECT_EQ(std::set<std::string>(reports.begin(), reports.end()).size(), 15u);
    EXPECT_EQ(reports[0] + reports[11] + reports[14],
              "GPA() fail on SimOpen\nGPA() fail on CallDisplatch\nGPA() fail on TransmitEvent\n");
}

TEST_F(LoaderTest, NoBuildFoundAsksForTheListingAndListsEveryBuildInTheStore) {
    const std::string other = "x86_microsoft.flightsimulator.simconnect_other_build";
    Install({StoreEntry("10.0.99999.0"), "x86_microsoft.windows.common-controls_1", other});
    std::string logged = Load(-1);
    EXPECT_EQ(Shown, "DLL not found\nPlease check KivFsx.log for list of found DLLs and "
                     "forward to support@kivfsx.example\nThank you!\n");
    EXPECT_NE(logged.find("10.0.60905.0\nNo suitable Dll found\nFound DLL: "), std::string::npos);
    EXPECT_EQ(CountOf(logged, "Found DLL: " + StoreEntry("10.0.99999.0") + "\n"), 1u);
    EXPECT_EQ(CountOf(logged, "Found DLL: " + other + "\n"), 1u);
    EXPECT_EQ(CountOf(logged, "Found"), 2u);
    EXPECT_TRUE(LoadedPaths.empty());
}

// A library named by the settings is loaded instead of searching the store; one that cannot be
// used says why in one line on the console and in the log, and the store is searched as usual.
TEST_F(LoaderTest, TheSettingsNameALibraryOrWidenTheStoreSearch) {
    Install({StoreEntry()});
    const std::string standIn = NativePath(KIV_STANDIN_LIBRARY);
    const std::string fallback = "; searching the store as usual\n";
    const std::string bits = std::to_string(sizeof(void*) * 8);
    WriteFile(Dir / "notes.dll", "not a library\n");
    const struct {
        std::string Path;
        std::string Line;
        bool Searched;
    } cases[] = {
        {standIn, "Loaded " + standIn + " (setting simconnect)\n", false},
        {NativePath(Dir / "Zo\xC3\xAB M\xC3\xBCller" / "SimConnect.dll"),
         " not used: no file at this path (is the settings file saved as UTF-8?)" + fallback, true},
        // Windows names a library it cannot map, a 32-bit one in a 64-bit process among them,
        // by error 193; the POSIX loader's "wrong ELF class" and "invalid ELF header" too.
        {NativePath(Dir / "notes.dll"),
         " not used: not a " + bits + "-bit library (LoadLibrary error 193, wrong bitness); this " +
             bits + "-bit KivFSX needs a " + bits + "-bit SimConnect.dll" + fallback,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        snprintf(SimLibrarySetting.Path, sizeof(SimLibrarySetting.Path), "%s", c.Path.c_str());
        LoadedPaths.clear();
        std::string logged = Load(0);
        std::string line = c.Searched ? "Setting simconnect = " + c.Path + c.Line : c.Line;
        EXPECT_EQ(Shown, line);
        EXPECT_EQ(logged, c.Searched ? line + LOOK + Found(StoreEntry()) : line);
        if (!c.Searched) { // the very file named, checked and loaded
            EXPECT_EQ(LoadedPaths, std::vector<std::string>{c.Path});
        }
    }

    // Only the Steam Edition's build in the store: found once the settings accept it.
    SimLibrarySetting = SimLibrarySettings{};
    std::filesystem::remove_all(Dir / "store");
    Install({StoreEntry("10.0.62610.0")});
    EXPECT_EQ(Load(-1).substr(0, 16), "3 items in list\n");
    SimLibrarySetting.SteamBuilds = true;
    std::string logged = Load(0);
    EXPECT_EQ(logged.substr(0, 17), "12 items in list\n");
    EXPECT_NE(logged.find("Looking for DLL: 10.0.60905.0\nLooking for DLL: 10.0.62615.0\n"),
              std::string::npos);
    EXPECT_EQ(logged.substr(logged.find("Looking for DLL: 10.0.62610.0\n") + 30),
              Found(StoreEntry("10.0.62610.0")));
}

// A build whose store holds only libraries it cannot load (the x86_64 one on Windows) searches
// nothing: without a library named by the settings it says in one line that it needs one; a
// named one that cannot be used says that nothing else is loaded. (A relative name is made
// whole when the settings are read: the settings test's.)
TEST_F(LoaderTest, ABuildTheStoreCannotServeNeedsTheSetting) {
    Install({StoreEntry()});
    const int32_t other = SIM_BUILD_BITS == 64 ? 32 : 64;
    Os.StoreLibraryBits = [] { return SIM_BUILD_BITS == 64 ? 32 : 64; };
    const std::string bits = std::to_string(SIM_BUILD_BITS);
    const std::string needs = "This " + bits +
                              "-bit KivFSX needs the setting simconnect = the path "
                              "of a " +
                              bits +
                              "-bit SimConnect.dll (such as MSFS's own) in "
                              "kivfsx-settings.txt: the store holds only " +
                              std::to_string(other) + "-bit builds, which it cannot load\n";
    EXPECT_EQ(Load(-1), needs);
    EXPECT_EQ(Shown, needs);
    EXPECT_TRUE(LoadedPaths.empty());

    const std::string missing = NativePath(Dir / "SimConnect.dll");
    snprintf(SimLibrarySetting.Path, sizeof(SimLibrarySetting.Path), "%s", missing.c_str());
    EXPECT_EQ(Load(-1), "Setting simconnect = " + missing +
                            " not used: no file at this path (is the settings file saved as "
                            "UTF-8?); the store holds only " +
                            std::to_string(other) + "-bit builds, so no library is loaded\n");
}
