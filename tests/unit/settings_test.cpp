// The settings file "kivfsx-settings.txt": what each text sets, and the one line that each
// setting in effect, or each setting that cannot be used, shows on the console and in the log.
#include "net_fixture.h"

#include "app/settings.h"
#include "sim/loader.h"
#include "sim/session.h"
#include "sim/traffic.h"

namespace {

int Minimised = 0; // calls of the console's minimising
PlatformConsoleResult MinimiseResult = PLATFORM_CONSOLE_MINIMISED;

void ResetRecords() {
    NetworkSetting = NetworkSettings{};
    SimLibrarySetting = SimLibrarySettings{};
    TrafficSetting = TrafficSettings{};
    SessionSetting = SessionSettings{};
    Minimised = 0;
}

struct SettingsTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        ResetRecords();
        MinimiseResult = PLATFORM_CONSOLE_MINIMISED;
        // A store that serves this build, as on every build but Windows' x86_64 one (whose
        // rows come last).
        Os.StoreLibraryBits = [] { return SIM_BUILD_BITS; };
        Os.MinimiseConsole = [] {
            ++Minimised;
            return MinimiseResult;
        };
    }
    void TearDown() override {
        ResetRecords();
        NetTest::TearDown();
    }
};

// The records' state as one comparable text.
std::string Effect() {
    const NetworkSettings& n = NetworkSetting;
    std::string out;
    char dotted[16];
    if (n.Choice == ADAPTER_BY_ADDRESS) {
        PlatformInetNtoa(n.Address, dotted);
        out += std::string("adapter@") + dotted + " ";
    } else if (n.Choice == ADAPTER_BY_DESCRIPTION) {
        out += std::string("adapter~") + n.Description + " ";
    }
    if (n.HasBroadcast) {
        PlatformInetNtoa(n.Broadcast, dotted);
        out += std::string("broadcast ") + dotted + " ";
    }
    if (n.HasHub) {
        PlatformInetNtoa(n.Hub, dotted);
        out += std::string("hub ") + dotted + " ";
    }
    if (SimLibrarySetting.Path[0] != '\0') {
        out += std::string("dll ") + SimLibrarySetting.Path + " ";
    }
    if (SimLibrarySetting.SteamBuilds) {
        out += "steam ";
    }
    if (TrafficSetting.UserById) {
        out += "user-id ";
    }
    if (SessionSetting.EndWithSimulator) {
        out += "end ";
    }
    if (Minimised > 0) {
        out += "minimised" + std::to_string(Minimised) + " ";
    }
    return out;
}

// A value as the lines echo it: whole up to 780 bytes (a path of 259 characters takes up to
// 777), else its first 780 bytes or fewer, ending before a character, then "...".
std::string Echoed(const std::string& value) {
    if (value.size() <= 780) {
        return value;
    }
    size_t n = 780;
    while ((static_cast<unsigned char>(value[n]) & 0xC0) == 0x80) {
        --n;
    }
    return value.substr(0, n) + "...";
}

// `count` Cyrillic letters (two bytes of UTF-8 each, one UTF-16 unit).
std::string Cyrillic(size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += "\xD0\x96";
    }
    return out;
}

// Runs each text through the reader: its records, and its lines on the console and in the log.
struct SettingsCase {
    std::string Text;
    std::string Effect;
    std::string Shown;
};

void ExpectCases(NetTest& test, const std::vector<SettingsCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text.substr(0, 60));
        ResetRecords();
        const std::string before = test.Log();
        test.CaptureConsole();
        ReadSettingsText(c.Text.data(), static_cast<uint32_t>(c.Text.size()));
        EXPECT_EQ(test.Console(), c.Shown);
        EXPECT_EQ(test.Log().substr(before.size()), c.Shown);
        EXPECT_EQ(Effect(), c.Effect);
    }
}

const std::string ADAPTER_EFFECT =
    ": discovery, listening and announcing on the adapter with this address or description\n";
const std::string HUB_EFFECT =
    ": discovery sent straight to the hub at this address, port 9019 (no broadcast)\n";
const std::string SIMCONNECT_EFFECT =
    ": this SimConnect.dll is loaded instead of searching the store\n";
const std::string KEYS = "adapter, broadcast, hub, simconnect, steam-builds, user-aircraft-id, "
                         "end-with-simulator, quiet-console or senders";

TEST_F(SettingsTest, EachTextSetsItsRecordAndShowsOneLinePerSetting) {
    const std::string sep(1, PLATFORM_DIR_SEP);
    const std::string zoe =
        NativePath(Dir) + sep + "Zo\xC3\xAB M\xC3\xBCller" + sep + "SimConnect.dll";
    // 140 letters beyond ASCII: 280 bytes of UTF-8, a path Windows takes (259 characters).
    const std::string cyrillic = NativePath(Dir) + sep + Cyrillic(140);
    const std::string tooLong = NativePath(Dir) + sep + Cyrillic(400);
    const std::string storeFallback = "; the store is searched as usual\n";
    const std::string steamEffect = "Setting steam-builds = yes: the store search also accepts FSX "
                                    "Steam Edition builds (10.0.62615.0 to 10.0.62607.0)\n";
    ExpectCases(
        *this,
        {
            {"", "", ""},
            {"# notes only\n; and more\n\n   \n", "", ""},
            {"adapter = 10.77.0.2\n", "adapter@10.77.0.2 ",
             "Setting adapter = 10.77.0.2" + ADAPTER_EFFECT},
            // A byte-order mark, CR LF line ends and blanks inside the description.
            {"\xEF\xBB\xBF  adapter=  Intel(R) Ethernet \r\n", "adapter~Intel(R) Ethernet ",
             "Setting adapter = Intel(R) Ethernet" + ADAPTER_EFFECT},
            // Not quite an address: taken as a part of a description.
            {"adapter = 10.77.0.256", "adapter~10.77.0.256 ",
             "Setting adapter = 10.77.0.256" + ADAPTER_EFFECT},
            // A description holds up to 131 characters, of any letters.
            {"adapter = " + Cyrillic(131), "adapter~" + Cyrillic(131) + " ",
             "Setting adapter = " + Cyrillic(131) + ADAPTER_EFFECT},
            {"adapter = " + Cyrillic(132), "",
             "Setting adapter = " + Cyrillic(132) +
                 " not used: longer than any adapter description (131 characters); the last "
                 "adapter decides as usual\n"},
            // Cut before a character, not inside one.
            {"adapter = x" + Cyrillic(500), "",
             "Setting adapter = " + Echoed("x" + Cyrillic(500)) +
                 " not used: longer than any adapter description (131 characters); the last "
                 "adapter decides as usual\n"},
            {"hub = 10.77.0.3", "hub 10.77.0.3 ", "Setting hub = 10.77.0.3" + HUB_EFFECT},
            {"broadcast = 10.77.0.255\nhub = 10.77.0.3\n", "hub 10.77.0.3 ",
             "Setting broadcast = 10.77.0.255: discovery broadcast to this address, port 9019\n"
             "Setting hub = 10.77.0.3" +
                 HUB_EFFECT +
                 "Setting broadcast = 10.77.0.255 not used: the setting hub sends discovery "
                 "straight to the hub\n"},
            {"hub = 10.77.0", "",
             "Setting hub = 10.77.0 not used: not an IPv4 address (A.B.C.D); discovery is "
             "broadcast as usual\n"},
            {"broadcast = 1.2.3.4.5", "",
             "Setting broadcast = 1.2.3.4.5 not used: not an IPv4 address (A.B.C.D); discovery "
             "goes to the adapter's broadcast address as usual\n"},
            // An echoed value is cut to fit its line, which keeps its end.
            {"hub = 010.77.0.3x" + std::string(1200, 'x') + "\nhub = 10.77.0.3\n", "hub 10.77.0.3 ",
             "Setting hub = " + Echoed("010.77.0.3x" + std::string(1200, 'x')) +
                 " not used: not an IPv4 address (A.B.C.D); discovery is broadcast as usual\n"
                 "Setting hub = 10.77.0.3" +
                 HUB_EFFECT},
            // A path with blanks and letters beyond ASCII, in the quotes of "Copy as path".
            {"simconnect = \"" + zoe + "\"\n", "dll " + zoe + " ",
             "Setting simconnect = " + zoe + SIMCONNECT_EFFECT},
            // A relative path is made whole in the working folder: that file is loaded.
            {"simconnect = SimConnect.dll", "dll " + NativePath(Dir / "SimConnect.dll") + " ",
             "Setting simconnect = SimConnect.dll" + SIMCONNECT_EFFECT},
            // The limit counts characters as Windows does, not bytes; a refused line leaves the
            // way open for the next one.
            {"simconnect = " + cyrillic, "dll " + cyrillic + " ",
             "Setting simconnect = " + cyrillic + SIMCONNECT_EFFECT},
            {"simconnect = " + tooLong + "\nsimconnect = " + zoe + "\n", "dll " + zoe + " ",
             "Setting simconnect = " + Echoed(tooLong) +
                 " not used: longer than a Windows path can be (259 characters)" + storeFallback +
                 "Setting simconnect = " + zoe + SIMCONNECT_EFFECT},
            {"steam-builds = yes", "steam ", steamEffect},
            {"steam-builds = no", "",
             "Setting steam-builds = no: only the three FSX builds are accepted\n"},
            {"steam-builds = maybe", "",
             "Setting steam-builds = maybe not used: neither yes nor no; only the three FSX "
             "builds are accepted\n"},
            {"adapter =\nadapter = v1\n", "adapter~v1 ",
             "Setting adapter =  not used: no value; the last adapter decides as usual\n"
             "Setting adapter = v1" +
                 ADAPTER_EFFECT},
            {"adapter = 10.77.0.2\nadapter = v1\n", "adapter@10.77.0.2 ",
             "Setting adapter = 10.77.0.2" + ADAPTER_EFFECT +
                 "Setting adapter = v1 not used: adapter is set above already\n"},
            {"user-aircraft-id = yes\nend-with-simulator = yes\n", "user-id end ",
             "Setting user-aircraft-id = yes: the user's aircraft is left out of the traffic also "
             "by the object id that the answers to its own requests give it, as object 1 is\n"
             "Setting end-with-simulator = yes: KivFSX ends when the simulator quits or has gone "
             "(exit code 50)\n"},
            {"user-aircraft-id = no\nend-with-simulator = 1\nend-with-simulator = no\n", "",
             "Setting user-aircraft-id = no: only object 1 is left out of the traffic\n"
             "Setting end-with-simulator = 1 not used: neither yes nor no; KivFSX waits for the "
             "simulator to come back\n"
             "Setting end-with-simulator = no: KivFSX waits for the simulator to come back\n"},
            // What belongs in kivfsx.cfg, and keys as they are not spelled.
            {"# ports\nport 9100\nAdapter = v0\n", "",
             "Settings line 2 not used: not of the form key = value\n"
             "Setting Adapter not used: no such setting (" +
                 KEYS + ")\n"},
        });

    // On a build that the store cannot serve (the x86_64 one on Windows, whose store holds
    // only 32-bit builds), steam-builds does not apply and simconnect has no store behind it.
    const int32_t other = SIM_BUILD_BITS == 64 ? 32 : 64;
    Os.StoreLibraryBits = [] { return SIM_BUILD_BITS == 64 ? 32 : 64; };
    const std::string bits = std::to_string(SIM_BUILD_BITS) + "-bit KivFSX";
    ExpectCases(
        *this,
        {
            {"steam-builds = yes", "",
             "Setting steam-builds = yes not used: does not apply to this " + bits +
                 ", which loads no " + std::to_string(other) +
                 "-bit library from the store; the library comes from the setting simconnect\n"},
            {"simconnect = " + tooLong, "",
             "Setting simconnect = " + Echoed(tooLong) +
                 " not used: longer than a Windows path can be (259 characters); without it this "
                 "KivFSX has no library to load\n"},
        });
}

// The console is minimised at once, where there is a window to minimise; elsewhere one line
// says why not.
TEST_F(SettingsTest, AQuietConsoleIsMinimisedWhereThereIsAWindow) {
    const std::string text = "quiet-console = yes\n";
    const struct {
        PlatformConsoleResult Result;
        std::string Effect;
        std::string Shown;
    } cases[] = {
        {PLATFORM_CONSOLE_MINIMISED, "minimised1 ",
         "Setting quiet-console = yes: the console window is minimised, and the focus stays "
         "where it is\n"},
        {PLATFORM_CONSOLE_NO_WINDOW, "minimised1 ",
         "Setting quiet-console = yes not used: this KivFSX has no console window (it was "
         "started without one); the console stays as it is\n"},
        {PLATFORM_CONSOLE_NOT_SUPPORTED, "minimised1 ",
         "Setting quiet-console = yes not used: no effect on " + std::string(PLATFORM_SYSTEM_NAME) +
             ", which has no console window to minimise; the console stays as it is\n"},
    };
    for (const auto& c : cases) {
        MinimiseResult = c.Result;
        ExpectCases(*this, {{text, c.Effect, c.Shown}});
    }
    ExpectCases(*this, {{"quiet-console = no", "",
                         "Setting quiet-console = no: the console "
                         "stays as it is\n"}});
    // The platform's own answer: Linux has no console window of its own to minimise.
    PlatformOsReset();
    if (std::string(PLATFORM_SYSTEM_NAME) == "Linux") {
        EXPECT_EQ(Os.MinimiseConsole(), PLATFORM_CONSOLE_NOT_SUPPORTED);
    }
}

TEST_F(SettingsTest, TheFileIsReadFromTheWorkingDirectoryWhenThereIsOne) {
    CaptureConsole();
    ReadSettingsFile();
    EXPECT_EQ(Console(), "");
    EXPECT_EQ(Effect(), "");
    WriteFile(SETTINGS_FILE_NAME, "hub = 10.77.0.3\n");
    CaptureConsole();
    ReadSettingsFile();
    EXPECT_EQ(Console(), "Setting hub = 10.77.0.3" + HUB_EFFECT);
    EXPECT_EQ(Effect(), "hub 10.77.0.3 ");
}

} // namespace
