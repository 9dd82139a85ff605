#include "sim_standin.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>

#include "sim/dispatch.h"
#include "sim/loader.h"
#include "sim/traffic.h"
#include "support/log.h"

int OpenSearches = 0;
std::vector<uint32_t> Sleeps;
size_t SleepLimit = SIZE_MAX, OpenLimit = SIZE_MAX;

namespace {

// Process-wide, like the stand-in's own state: its files, and the table that loading it gave.
std::filesystem::path StandinDir;
std::uintmax_t JournalMark = 0;
SimApiTable Loaded = {};
// The entries that RedirectStore wraps, and the directory that stands for the store.
PlatformOs Real;
std::string StoreDir;

std::string Redirected(const char* path) {
    for (const char* store : {PlatformStoreDir(), PlatformStoreListingDir()}) {
        if (strncmp(path, store, strlen(store)) == 0) {
            return StoreDir + (path + strlen(store));
        }
    }
    return path;
}

void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

SC_HRESULT PLATFORM_STDCALL BoundedOpen(SC_HANDLE* handle, const char* name, SC_HWND wnd,
                                        SC_DWORD userEvent, SC_HANDLE event, SC_DWORD config) {
    if (OpenLimit-- == 0) {
        throw StopLoop{};
    }
    return Loaded.Open(handle, name, wnd, userEvent, event, config);
}

// The first time: the stand-in's files, and the library loaded from a store that holds the
// preferred build. Later: the table that load gave.
void LoadStandin() {
    if (StandinDir.empty()) {
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        StandinDir = std::filesystem::temp_directory_path() /
                     ("kivfsx-standin-" + std::to_string(static_cast<long long>(stamp)));
        std::filesystem::create_directories(StandinDir / StoreEntry());
        std::atexit([] {
            // The stand-in keeps its journal open, and Windows removes no open file: a reset
            // with no journal named closes it (the stand-in reads its control file even at a
            // dispatch that fails).
            SetEnv("KIVSIM_JOURNAL", "");
            Control({"reset"});
            if (Loaded.CallDispatch != nullptr) {
                Loaded.CallDispatch(nullptr, HandleSimMsgs, nullptr);
            }
            std::error_code ignored;
            std::filesystem::remove_all(StandinDir, ignored);
        });
        WriteFile(StandinDir / StoreEntry() / "SimConnect.dll", "");
        SetEnv("KIVSIM_JOURNAL", (StandinDir / "journal.txt").string());
        SetEnv("KIVSIM_CONTROL", (StandinDir / "control.txt").string());
        SetEnv("KIVSIM_FRAME_HZ", "100000"); // every dispatch brings the frame records
    }
    if (Loaded.TransmitClientEvent == nullptr) {
        PlatformOs saved = Os;
        RedirectStore(StandinDir);
        EXPECT_EQ(LoadSimConnect(), 0);
        Os = saved;
        Loaded = SimApi;
    }
    SimApi = Loaded;
    SimApi.Open = BoundedOpen;
}

} // namespace

std::string StoreEntry(const std::string& version) {
    return "x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_" + version +
           "_none_4bf5400abf9d60b7";
}

void RedirectStore(const std::filesystem::path& dir) {
    Real = Os;
    StoreDir = dir.string() + PLATFORM_DIR_SEP;
    OpenSearches = 0;
    // The stand-in built with the tests has the program's own bitness.
    Os.StoreLibraryBits = [] { return SIM_BUILD_BITS; };
    Os.FindFirst = [](const char* prefix, char* name, size_t size) {
        PlatformDirSearch* search = Real.FindFirst(Redirected(prefix).c_str(), name, size);
        OpenSearches += search != nullptr ? 1 : 0;
        return search;
    };
    Os.FindClose = [](PlatformDirSearch* search) {
        --OpenSearches;
        Real.FindClose(search);
    };
    Os.LoadLibraryPath = [](const char* path) {
        std::string file = Redirected(path);
        bool inStore = file != path && std::filesystem::exists(file);
        return Real.LoadLibraryPath(inStore ? NativePath(KIV_STANDIN_LIBRARY).c_str()
                                            : file.c_str());
    };
}

std::vector<std::string> Journal(const std::string& prefix) {
    std::ifstream in(StandinDir / "journal.txt", std::ios::binary);
    in.seekg(static_cast<std::streamoff>(JournalMark));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

void Control(const std::vector<std::string>& commands) {
    std::ofstream out(StandinDir / "control.txt", std::ios::binary | std::ios::app);
    for (const std::string& c : commands) {
        out << c << '\n';
    }
}

std::string Console(const std::function<void()>& body) {
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

std::vector<uint8_t> Message(SC_DWORD id, const std::vector<uint32_t>& words,
                             const std::vector<uint8_t>& tail) {
    std::vector<uint32_t> head = {static_cast<uint32_t>(12 + 4 * words.size() + tail.size()), 4,
                                  id};
    head.insert(head.end(), words.begin(), words.end());
    std::vector<uint8_t> out(head.size() * 4);
    memcpy(out.data(), head.data(), out.size());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

std::string Deliver(const std::vector<uint8_t>& message, size_t size) {
    std::vector<uint8_t> exact(message.begin(), message.begin() + std::min(size, message.size()));
    return Console([&exact] {
        HandleSimMsgs(reinterpret_cast<SIMCONNECT_RECV*>(exact.data()),
                      static_cast<SC_DWORD>(exact.size()), nullptr);
    });
}

void SimTest::SetUp() {
    TempDirTest::SetUp();
    LoadStandin();
    ASSERT_NE(SimApi.CallDispatch, nullptr);
    SimLogResetForTest(); // the first load logged before any test's log began
    SimLogInit("KivFSX.log");
    BlocksResetForTest();
    hSimConnect.store(nullptr);
    SimQuit.store(false);
    SessionReady = false;
    AircraftType = AIRCRAFT_OTHER;
    memset(TrafficTable, 0, sizeof(TrafficTable));
    TrafficSetting = TrafficSettings{};
    UserObjectId.store(0);
    SessionSetting = SessionSettings{};
    TrafficErrors.store(0);
    TransmitErrors.store(0);
    Block2Mutex = Block2Mutex != nullptr ? Block2Mutex : Os.MutexCreate();
    Os.SpawnInstance = [](const char*, const char* const[3], const char*) { return true; };
    Sleeps.clear();
    SleepLimit = OpenLimit = SIZE_MAX;
    Os.SleepMs = [](uint32_t ms) {
        Sleeps.push_back(ms);
        if (Sleeps.size() >= SleepLimit) {
            throw StopLoop{};
        }
    };
    // The stand-in runs its control file at a dispatch, even one that fails for want of a
    // connection.
    Control({"reset"});
    SimApi.CallDispatch(nullptr, HandleSimMsgs, nullptr);
    JournalMark = std::filesystem::file_size(StandinDir / "journal.txt");
}
