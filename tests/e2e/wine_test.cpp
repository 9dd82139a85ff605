// The Windows builds under Wine, inside the same private network: the link road, the frame
// road, the input road and the traffic road with the build's own stand-in DLL installed under
// the exact store path. Both builds take this road: x86_64, and i686, the release, whose
// program and stand-in are the very files of the release build (its __stdcall entry points
// bound by their plain names), under 32-bit Wine.
#include "harness.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct WineTest : E2eTest {
    void SetUp() override {
        E2eTest::SetUp();
        if (Build.empty()) {
            // The README's test command always builds both Windows presets first; by hand
            // either may be absent, under CI it may not.
            if (getenv("CI") != nullptr && std::string(getenv("CI")) == "true") {
                FAIL() << "no Windows " << Preset << " build";
            }
            GTEST_SKIP() << "no Windows build of preset " << Preset << " to run under Wine";
        }
        if (Preset == "win32") {
            // Where this machine runs no 32-bit programs at all, the wrapper says why.
            fs::path why = Dir / "wine32.txt";
            Proc probe = Spawn({WineRun(), "--can-run-32"}, Dir, {}, why);
            if (WaitExit(probe, 30000) == 77) {
                GTEST_SKIP() << ReadText(why);
            }
        }
        // Each run has a prefix of its own: a Wine client joins any running server of the
        // same prefix, so runs never share one. It is copied from the prepared base prefix.
        Prefix = Dir / "wineprefix";
        const char* base = getenv("KIV_WINEPREFIX_BASE");
        ASSERT_TRUE(base != nullptr && fs::exists(fs::path(base) / "system.reg"))
            << "KIV_WINEPREFIX_BASE must name an initialised Wine prefix";
        std::string copy = "cp -a '" + std::string(base) + "' '" + Prefix.string() + "'";
        ASSERT_EQ(system(copy.c_str()), 0);
        fs::path winsxs = Prefix / "drive_c" / "windows" / "winsxs";
        fs::create_directories(winsxs);
        InstallLibrary(winsxs, "10.0.61259.0",
                       (fs::path(Build) / "tools" / "simulator" / "SimConnect.dll").string());
        ASSERT_TRUE(NetworkListed()) << ReadText(Dir / "ipconfig.txt");
    }

    // A fresh prefix starts the service behind the adapter list on demand, and until it runs
    // the list is empty, which no Windows PC shows its programs (a busy machine takes seconds):
    // the prefix's server is started to stay, and Wine's ipconfig is run until it lists the
    // namespace's address (for at most a minute). The program starts after that.
    bool NetworkListed() {
        const std::map<std::string, std::string> env{{"WINEPREFIX", Prefix.string()},
                                                     {"WINEDEBUG", "-all"}};
        Proc server = Spawn({"wineserver", "-p"}, Dir, env, Dir / "wineserver.txt");
        WaitExit(server, 10000);
        for (uint64_t end = NowMs() + 60000; NowMs() < end; SleepMs(500)) {
            Proc ipconfig = Spawn({WineRun(), "ipconfig.exe"}, Dir, env, Dir / "ipconfig.txt");
            if (WaitExit(ipconfig, 30000) == 0 &&
                ReadText(Dir / "ipconfig.txt").find("10.77.0.2") != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    void TearDown() override {
        E2eTest::TearDown();
        RemoveSecondNetwork();
    }

    // The x86_64 build searches no store: the settings name its library where MSFS's SDK has
    // it, followed by `more`. The i686 build finds the stand-in in the store.
    void WriteSettings(const std::string& more) {
        std::string settings = more;
        if (Preset == "win64") {
            fs::path dll =
                Prefix / "drive_c" / "MSFS SDK" / "SimConnect SDK" / "lib" / "SimConnect.dll";
            fs::create_directories(dll.parent_path());
            fs::copy_file(fs::path(Build) / "tools" / "simulator" / "SimConnect.dll", dll,
                          fs::copy_options::overwrite_existing);
            settings = "simconnect = C:\\MSFS SDK\\SimConnect SDK\\lib\\SimConnect.dll\r\n" + more;
        }
        std::ofstream(Dir / "kivfsx-settings.txt") << settings;
    }

    // A new control file for a new program instance (its stand-in reads the file from the
    // start).
    void NewControl(const std::vector<std::string>& commands) {
        std::ofstream control(ControlFile, std::ios::trunc);
        for (const auto& c : commands) {
            control << c << "\n";
        }
    }

    Proc StartWineKivfsx(const fs::path& program = {}) {
        auto env = SimEnv();
        env["WINEPREFIX"] = Prefix.string();
        env["WINEDEBUG"] = "-all";
        // The stand-in inside Wine reads its control file and journal by Windows path.
        env["KIVSIM_JOURNAL"] = "Z:" + Journal.string();
        env["KIVSIM_CONTROL"] = "Z:" + ControlFile.string();
        const fs::path exe = program.empty() ? fs::path(Build) / "kivfsx.exe" : program;
        return Spawn({WineRun(), exe.string()}, Dir, env, KivOut);
    }

    std::string Preset = "win64";
    std::string Build = WindowsDir(Preset); // its build folder
    fs::path Prefix;
};

// The same road for each Windows build.
struct WineRoadTest : WineTest, ::testing::WithParamInterface<const char*> {
    void SetUp() override {
        Preset = GetParam();
        Build = WindowsDir(Preset);
        WineTest::SetUp();
    }
};

// The user's aircraft has an id of its own (7): with user-aircraft-id it is left out of the
// traffic, and without end-with-simulator the program waits for the next simulator; in a
// second run, without user-aircraft-id it is listed, and with end-with-simulator the program
// ends with the simulator.
TEST_P(WineRoadTest, LinkFrameInputAndTrafficRoads) {
    NewControl({"set Autopilot Heading Lock Dir=3", "user-id 7"});
    WriteSettings("user-aircraft-id = yes\r\n");
    Proc hub = StartHub({"--fields", "Autopilot Heading Lock Dir", "--record-payload"});
    Proc kiv = StartWineKivfsx();
    ASSERT_TRUE(WaitForText(HubRecord, "DISCOVERY ", 60000)) << ReadText(KivOut);
    std::string discovery = ReadLines(HubRecord, "DISCOVERY ").front();
    // Wine answers a look-up of the own host name with the host's interface addresses, so
    // the announced address is one of the namespace's two.
    std::string text = Field(discovery, "text");
    EXPECT_TRUE(text == "10.77.0.2 9030 1 1209" || text == "10.77.0.3 9030 1 1209") << text;
    ExpectAdapterShown(KivOut);
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 10000)) << ReadText(KivOut);
    ASSERT_TRUE(WaitForText(HubRecord, "BLOCK ", 20000, 30));
    size_t bad = 0;
    for (const auto& line : ReadLines(HubRecord, "BLOCK ")) {
        bad += Field(line, "ok") != "1";
    }
    EXPECT_EQ(bad, 0u);
    // Frame road: the simulator's value reaches the hub; input road: heading bug -10 wraps.
    ASSERT_TRUE(WaitForText(HubRecord, "value=3.000000", 10000));
    SendLine(hub, "set 100=4");
    EXPECT_TRUE(WaitForText(Journal, "sim=HEADING_BUG_SET data=353 ", 10000)) << ReadText(Journal);
    EXPECT_TRUE(WaitForText(HubRecord, "value=353.000000", 10000));
    ExpectLateExceptionRoad(hub);
    ExpectTrafficWithoutTheUser(7);
    Control("quit");
    ASSERT_TRUE(WaitForText(KivOut, "Quit received\n", 10000)) << ReadText(KivOut);
    SleepMs(2000);
    EXPECT_TRUE(Running(kiv)); // waits for the next simulator
    Stop(kiv);
    SendLine(hub, "quit");
    EXPECT_EQ(WaitExit(hub, 5000), 0);

    fs::remove(HubRecord);
    fs::remove(KivOut);
    NewControl({"user-id 7"});
    WriteSettings("end-with-simulator = yes\r\n");
    hub = StartHub({"--record-payload"});
    kiv = StartWineKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 60000)) << ReadText(KivOut);
    ExpectTrafficWithTheUser(7);
    Control("quit");
    EXPECT_EQ(WaitExit(kiv, 10000), 50) << ReadText(KivOut); // within a second or two
    EXPECT_NE(ReadText(KivOut).find("The simulator quit: KivFSX ends with it (setting "
                                    "end-with-simulator, exit code 50)\n"),
              std::string::npos)
        << ReadText(KivOut);
}

INSTANTIATE_TEST_SUITE_P(Builds, WineRoadTest, ::testing::Values("win64", "win32"),
                         [](const auto& info) { return std::string(info.param); });

// The settings on the Windows road: the adapter chosen by its address while another network
// is listed last, and a SimConnect.dll loaded from a path with blanks and letters beyond ASCII
// (the store holds none).
TEST_F(WineTest, TheChosenAdapterAndALibraryByAPathOfAnyLetters) {
    AddSecondNetwork();
    fs::remove_all(Prefix / "drive_c" / "windows" / "winsxs");
    const std::string folder = "Zo\xC3\xAB M\xC3\xBCller";
    fs::path dll = Prefix / "drive_c" / "Program Files (x86)" / folder / "SimConnect.dll";
    fs::create_directories(dll.parent_path());
    fs::copy_file(fs::path(Build) / "tools" / "simulator" / "SimConnect.dll", dll);
    const std::string path = "C:\\Program Files (x86)\\" + folder + "\\SimConnect.dll";
    std::ofstream(Dir / "kivfsx-settings.txt")
        << "adapter = 10.77.0.2\r\nsimconnect = " << path << "\r\n";
    Proc hub = StartHub({"--listen-address", "10.77.0.255"});
    fs::path otherRecord = Dir / "other-record.txt";
    Proc other =
        Spawn({CommgrPath(), "--address", "10.78.0.3", "--listen-address", "10.78.0.255",
               "--data-port", "9021", "--record", otherRecord.string(), "--summary-ms", "0"},
              Dir, {}, Dir / "other-out.txt");
    Proc kiv = StartWineKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 60000)) << ReadText(KivOut);
    std::string shown = ReadText(KivOut);
    EXPECT_NE(shown.find("Loaded " + path + " (setting simconnect)\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("     IP: \t10.77.0.2\n   Mask: \t255.255.255.0\n    Use: \tthis "
                         "adapter (setting adapter)\n"),
              std::string::npos)
        << shown;
    EXPECT_EQ(Field(ReadLines(HubRecord, "DISCOVERY ").front(), "text"), "10.77.0.2 9030 1 1209");
    EXPECT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 10000)) << shown;
    EXPECT_TRUE(WaitForText(Journal, "CALL Open name=VUVIze", 1000));
    EXPECT_TRUE(ReadLines(otherRecord, "DISCOVERY ").empty());
}

// The i686 library given to the x86_64 build: the loader names the wrong bitness, and, with no
// store it could search, loads nothing; then, with its own library, discovery straight to the
// hub.
TEST_F(WineTest, TheHubsAddressAndALibraryOfTheOtherBitness) {
    fs::path i686 = fs::path(WindowsDir("win32")) / "tools" / "simulator" / "SimConnect.dll";
    if (WindowsDir("win32").empty()) {
        if (getenv("CI") != nullptr && std::string(getenv("CI")) == "true") {
            FAIL() << "no i686 stand-in at " << i686;
        }
        GTEST_SKIP() << "no i686 build (preset win32) for its stand-in";
    }
    std::ofstream(Dir / "kivfsx-settings.txt") << "simconnect = Z:" << i686.string() << "\n";
    Proc kiv = StartWineKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Press \"Enter\" to exit...", 60000)) << ReadText(KivOut);
    // The path as the system made it whole.
    std::string whole = "Z:" + i686.string();
    std::replace(whole.begin(), whole.end(), '/', '\\');
    std::string shown = ReadText(KivOut);
    EXPECT_NE(shown.find("Setting simconnect = " + whole +
                         " not used: not a 64-bit library (LoadLibrary error 193, wrong "
                         "bitness); this 64-bit KivFSX needs a 64-bit SimConnect.dll; the store "
                         "holds only 32-bit builds, so no library is loaded\n"),
              std::string::npos)
        << shown;
    SendLine(kiv, "");
    EXPECT_EQ(WaitExit(kiv, 10000), 100);

    fs::remove(KivOut);
    std::ofstream(Dir / "kivfsx-settings.txt")
        << "hub = 10.77.0.3\nsimconnect = Z:" << Build << "/tools/simulator/SimConnect.dll\n";
    Proc hub = StartHub({"--listen-address", "10.77.0.3"});
    kiv = StartWineKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 60000)) << ReadText(KivOut);
    EXPECT_NE(ReadText(KivOut).find("Discovery goes to 10.77.0.3 port 9019 (setting hub)\n"),
              std::string::npos)
        << ReadText(KivOut);
    EXPECT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 10000)) << ReadText(KivOut);
}

// The x86_64 build without simconnect: one line says that it needs it, and why, instead of a
// search of a store that holds only 32-bit builds; steam-builds does not apply to it.
TEST_F(WineTest, The64BitBuildNeedsTheSettingSimconnect) {
    std::ofstream(Dir / "kivfsx-settings.txt") << "steam-builds = yes\r\n";
    Proc kiv = StartWineKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Press \"Enter\" to exit...", 60000)) << ReadText(KivOut);
    std::string shown = ReadText(KivOut);
    EXPECT_NE(shown.find("Setting steam-builds = yes not used: does not apply to this 64-bit "
                         "KivFSX, which loads no 32-bit library from the store; the library comes "
                         "from the setting simconnect\n"
                         "This 64-bit KivFSX needs the setting simconnect = the path of a 64-bit "
                         "SimConnect.dll (such as MSFS's own) in kivfsx-settings.txt: the store "
                         "holds only 32-bit builds, which it cannot load\n"),
              std::string::npos)
        << shown;
    EXPECT_EQ(CountOf(shown, "DLL not found"), 0u);
    SendLine(kiv, "");
    EXPECT_EQ(WaitExit(kiv, 10000), 100);
    EXPECT_EQ(CountOf(ReadText(Dir / "KivFSX.log"), "Looking for DLL"), 0u);
}

// A library named without a folder is the working folder's, although LoadLibrary's own search
// would take the one beside the program first (here a file that is no library); an adapter
// chosen by a description beyond ASCII (Wine, like Windows, gives it in the ANSI code page); a
// quiet console where there is no console window.
TEST_F(WineTest, ARelativeLibraryNameAndADescriptionOfAnyLetters) {
    AddSecondNetwork();
    ASSERT_EQ(system("ip link set v2 down && ip link set v2 name 'v\xC3\xA9' && "
                     "ip link set 'v\xC3\xA9' up"),
              0);
    fs::path program = Dir / "program";
    fs::create_directories(program);
    fs::copy_file(fs::path(Build) / "kivfsx.exe", program / "kivfsx.exe");
    std::ofstream(program / "SimConnect.dll") << "not a library\n";
    fs::copy_file(fs::path(Build) / "tools" / "simulator" / "SimConnect.dll",
                  Dir / "SimConnect.dll");
    std::ofstream(Dir / "kivfsx-settings.txt")
        << "simconnect = SimConnect.dll\r\nadapter = v\xC3\xA9\r\nquiet-console = yes\r\n";
    Proc kiv = StartWineKivfsx(program / "kivfsx.exe");
    ASSERT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 60000)) << ReadText(KivOut);
    std::string whole = "Z:" + (Dir / "SimConnect.dll").string();
    std::replace(whole.begin(), whole.end(), '/', '\\');
    std::string shown = ReadText(KivOut);
    EXPECT_NE(shown.find("Loaded " + whole + " (setting simconnect)\n"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find("   Desc: \tv\xC3\xA9\n     IP: \t10.78.0.2\n   Mask: \t255.255.255.0\n"
                         "    Use: \tthis adapter (setting adapter)\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Setting quiet-console = yes not used: this KivFSX has no console "
                         "window (it was started without one); the console stays as it is\n"),
              std::string::npos)
        << shown;
}

// The sender filter on the x86_64 build: with senders = hub only the hub's datagrams are
// handled, without the setting a stranger's are too (the same road as on Linux).
struct WineSendersTest : WineTest, ::testing::WithParamInterface<bool> {};

TEST_P(WineSendersTest, OnlyTheAcceptedSendersReachTheSimulatorTheLinkAndTheExit) {
    std::ofstream(Dir / "kivfsx-settings.txt")
        << "hub = 10.77.0.3\r\nsimconnect = Z:" << Build << "/tools/simulator/SimConnect.dll\r\n"
        << (GetParam() ? "senders = hub\r\n" : "");
    Proc hub = StartHub({"--listen-address", "10.77.0.3", "--send-address", "10.77.0.3"});
    Proc kiv = StartWineKivfsx();
    ExpectSenderFilterRoad(GetParam(), hub, kiv);
}

INSTANTIATE_TEST_SUITE_P(Setting, WineSendersTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "senders" : "without"; });

} // namespace
