#include "harness.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::string Env(const char* name) {
    const char* v = getenv(name);
    return v != nullptr ? v : "";
}
} // namespace

std::string KivfsxPath() {
    return Env("KIV_BIN");
}
std::string CommgrPath() {
    return Env("KIV_COMMGR");
}
std::string StandInPath() {
    return Env("KIV_STANDIN");
}
std::string Win64Dir() {
    std::string dir = Env("KIV_WIN64_DIR");
    return (!dir.empty() && fs::exists(fs::path(dir) / "kivfsx.exe")) ? dir : "";
}

void ExpectAdapterShown(const fs::path& kivOut) {
    std::string shown = ReadText(kivOut);
    size_t desc = shown.find("   Desc: \t");
    ASSERT_NE(desc, std::string::npos) << shown;
    EXPECT_NE(shown[desc + 10], '\n') << shown;
}

void AddSecondNetwork() {
    ASSERT_EQ(
        system("ip link add v2 type veth peer name v3 && ip addr add 10.78.0.2/24 dev v2 "
               "&& ip addr add 10.78.0.3/24 dev v3 && ip link set v2 up && ip link set v3 up"),
        0);
}

void RemoveSecondNetwork() {
    // Removing one end removes the pair; the test may have failed before adding it.
    int ignored = system("ip link del v2 2>/dev/null");
    (void)ignored;
}

namespace {
int dirCounter = 0;
} // namespace

void E2eTest::SetUp() {
    ASSERT_FALSE(KivfsxPath().empty()) << "KIV_BIN is not set: run through CTest";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = fs::temp_directory_path() / ("kivfsx-e2e-" + std::to_string(getpid()) + "-" +
                                       std::to_string(dirCounter++) + "-" + info->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Store = Dir / "winsxs";
    fs::create_directories(Store);
    Journal = Dir / "sim-journal.txt";
    ControlFile = Dir / "sim-control.txt";
    HubRecord = Dir / "hub-record.txt";
    KivOut = Dir / "kivfsx-out.txt";
    HubOut = Dir / "hub-out.txt";
    std::ofstream(ControlFile).close();
    if (!StandInPath().empty()) {
        InstallLibrary(Store, "10.0.61259.0", StandInPath());
    }
}

void E2eTest::TearDown() {
    // Every process of this namespace but this one and its reaper: kivfsx, relaunched
    // instances, the hub, Wine's server.
    kill(-1, SIGKILL);
    for (int i = 0; i < 50 && waitpid(-1, nullptr, WNOHANG) >= 0; ++i) {
        SleepMs(10);
    }
    if (!HasFailure()) {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    } else {
        std::cerr << "kept the files of the failed test in " << Dir << "\n";
    }
}

void E2eTest::InstallLibrary(const fs::path& store, const std::string& version,
                             const std::string& library) {
    fs::path entry = store / StoreEntryName(version);
    fs::create_directories(entry);
    fs::copy_file(library, entry / "SimConnect.dll", fs::copy_options::overwrite_existing);
}

std::map<std::string, std::string> E2eTest::SimEnv() const {
    return {{"KIVFSX_WINSXS", Store.string()},
            {"KIVSIM_JOURNAL", Journal.string()},
            {"KIVSIM_CONTROL", ControlFile.string()}};
}

Proc E2eTest::StartKivfsx(const std::map<std::string, std::string>& extraEnv,
                          const std::vector<std::string>& extraArgs) {
    auto env = SimEnv();
    for (const auto& [k, v] : extraEnv) {
        env[k] = v;
    }
    std::vector<std::string> args{KivfsxPath()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return Spawn(args, Dir, env, KivOut);
}

Proc E2eTest::StartHub(const std::vector<std::string>& extraArgs) {
    std::vector<std::string> args{CommgrPath(),       "--address",    "10.77.0.3", "--record",
                                  HubRecord.string(), "--summary-ms", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return Spawn(args, Dir, {}, HubOut);
}

void E2eTest::Control(const std::string& command) const {
    std::ofstream out(ControlFile, std::ios::app);
    out << command << "\n";
}

void E2eTest::ExpectLateExceptionRoad(const Proc& hub) {
    Control("late-fail TransmitClientEvent 1 7");
    // The stand-in reads its control file at its next dispatch.
    ASSERT_TRUE(WaitForText(Journal, "CONTROL late-fail TransmitClientEvent 1 7 -> ok", 5000));
    SendLine(hub, "set 42=1"); // gear down: one transmission
    ASSERT_TRUE(WaitForText(Journal, "LATE TransmitClientEvent send=", 10000)) << ReadText(Journal);
    std::string late = ReadLines(Journal, "LATE TransmitClientEvent ").back();
    EXPECT_TRUE(WaitForText(KivOut, "RECV_ID_EXCEPTION\n", 10000)) << ReadText(KivOut);
    EXPECT_TRUE(WaitForText(Dir / "KivFSX.log",
                            "EXCEPTION=7  SendID=" + Field(late, "send") + "  Index=1  cbData=24\n",
                            5000))
        << ReadText(Dir / "KivFSX.log");
    EXPECT_EQ(CountOf(ReadText(KivOut), "TransmitClientEvent() -Error"), 0u);
}
