// The settings file "kivfsx-settings.txt": what each text sets, and the one line that each
// setting in effect, or each setting that cannot be used, shows on the console and in the log.
#include "net_fixture.h"

#include "app/settings.h"
#include "sim/loader.h"

namespace {

struct SettingsTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        SimLibrarySetting = SimLibrarySettings{};
    }
    void TearDown() override {
        SimLibrarySetting = SimLibrarySettings{};
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
    return out;
}

const std::string ADAPTER_EFFECT =
    ": discovery, listening and announcing on the adapter with this address or description\n";
const std::string HUB_EFFECT =
    ": discovery sent straight to the hub at this address, port 9019 (no broadcast)\n";

TEST_F(SettingsTest, EachTextSetsItsRecordAndShowsOneLinePerSetting) {
    const std::string zoe = "C:\\Program Files (x86)\\Zo\xC3\xAB M\xC3\xBCller\\SimConnect.dll";
    const struct {
        std::string Text;
        std::string Effect;
        std::string Shown;
    } cases[] = {
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
        {"hub = 10.77.0.3", "hub 10.77.0.3 ", "Setting hub = 10.77.0.3" + HUB_EFFECT},
        {"broadcast = 10.77.0.255\nhub = 10.77.0.3\n", "hub 10.77.0.3 ",
         "Setting broadcast = 10.77.0.255: discovery broadcast to this address, port 9019\n"
         "Setting hub = 10.77.0.3" +
             HUB_EFFECT +
             "Setting broadcast = 10.77.0.255 not used: the setting hub sends discovery straight "
             "to the hub\n"},
        {"hub = 10.77.0", "",
         "Setting hub = 10.77.0 not used: not an IPv4 address (A.B.C.D); discovery is broadcast "
         "as usual\n"},
        {"broadcast = 1.2.3.4.5", "",
         "Setting broadcast = 1.2.3.4.5 not used: not an IPv4 address (A.B.C.D); discovery goes "
         "to the adapter's broadcast address as usual\n"},
        {"hub = 010.77.0.3x", "",
         "Setting hub = 010.77.0.3x not used: not an IPv4 address (A.B.C.D); discovery is "
         "broadcast as usual\n"},
        // A path with blanks and letters beyond ASCII, in the quotes of "Copy as path".
        {"simconnect = \"" + zoe + "\"\n", "dll " + zoe + " ",
         "Setting simconnect = " + zoe +
             ": this SimConnect.dll is loaded instead of searching the store\n"},
        {"simconnect = C:\\" + std::string(300, 'x'), "",
         "Setting simconnect = C:\\" + std::string(300, 'x') +
             " not used: longer than a Windows path can be (259 characters); the store is "
             "searched as usual\n"},
        {"steam-builds = yes", "steam ",
         "Setting steam-builds = yes: the store search also accepts FSX Steam Edition builds "
         "(10.0.62615.0 to 10.0.62607.0)\n"},
        {"steam-builds = no", "",
         "Setting steam-builds = no: only the three FSX builds are accepted\n"},
        {"steam-builds = maybe", "",
         "Setting steam-builds = maybe not used: neither yes nor no; only the three FSX builds "
         "are accepted\n"},
        {"adapter =\n", "",
         "Setting adapter =  not used: no value; the last adapter decides as usual\n"},
        {"adapter = 10.77.0.2\nadapter = v1\n", "adapter@10.77.0.2 ",
         "Setting adapter = 10.77.0.2" + ADAPTER_EFFECT +
             "Setting adapter = v1 not used: adapter is set above already\n"},
        // What belongs in kivfsx.cfg, and keys as they are not spelled.
        {"# ports\nport 9100\nAdapter = v0\n", "",
         "Settings line 2 not used: not of the form key = value\n"
         "Setting Adapter not used: no such setting (adapter, broadcast, hub, simconnect, "
         "steam-builds or senders)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text.substr(0, 40));
        NetworkSetting = NetworkSettings{};
        SimLibrarySetting = SimLibrarySettings{};
        const std::string before = Log();
        CaptureConsole();
        ReadSettingsText(c.Text.data(), static_cast<uint32_t>(c.Text.size()));
        EXPECT_EQ(Console(), c.Shown);
        EXPECT_EQ(Log().substr(before.size()), c.Shown);
        EXPECT_EQ(Effect(), c.Effect);
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
