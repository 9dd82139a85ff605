// Adapter discovery through a replaced adapter list: the buffer sizes, the three failures,
// what is shown, and the broadcast address of the last adapter.
#include "net_fixture.h"

namespace {

// A test adapter list; the buffer that Os.GetAdaptersInfo fills holds a pointer to the head.
struct FakeAdapter {
    const FakeAdapter* Next;
    const char* Description;
    const char* Ip;
    const char* Mask;
};

const FakeAdapter* FakeHead = nullptr;
uint32_t FakeNeeded = 0;     // size the list needs; a smaller buffer gets 111
uint32_t FakeFailure = 0;    // non-zero: every call answers this
int FakeFailAlloc = -1;      // index of the Alloc call that fails
std::vector<uint32_t> Calls; // buffer size of each GetAdaptersInfo call
std::vector<size_t> Allocs;
int Frees = 0;

uint32_t FakeGetAdaptersInfo(void* buffer, uint32_t* size) {
    Calls.push_back(*size);
    if (FakeFailure != 0) {
        return FakeFailure;
    }
    if (*size < FakeNeeded) {
        *size = FakeNeeded;
        return PLATFORM_ADAPTERS_BUFFER_OVERFLOW;
    }
    memcpy(buffer, &FakeHead, sizeof(FakeHead));
    return PLATFORM_ADAPTERS_OK;
}

alignas(16) uint8_t Arena[2][4096];
void* FakeAlloc(size_t size) {
    int n = static_cast<int>(Allocs.size());
    Allocs.push_back(size);
    return (n == FakeFailAlloc || n > 1 || size > sizeof(Arena[0])) ? nullptr : Arena[n];
}
void FakeFree(void*) {
    ++Frees;
}

const FakeAdapter* As(const void* a) {
    return static_cast<const FakeAdapter*>(a);
}

struct AdaptersTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        FakeHead = nullptr;
        FakeNeeded = ADAPTER_BUFFER_SIZE;
        FakeFailure = 0;
        FakeFailAlloc = -1;
        Calls.clear();
        Allocs.clear();
        Frees = 0;
        Os.GetAdaptersInfo = FakeGetAdaptersInfo;
        Os.Alloc = FakeAlloc;
        Os.Free = FakeFree;
        AdapterWalk = {[](const void* buffer) -> const void* {
                           return *static_cast<const FakeAdapter* const*>(buffer);
                       },
                       [](const void* a) { return static_cast<const void*>(As(a)->Next); },
                       [](const void* a) { return As(a)->Description; },
                       [](const void* a) { return As(a)->Ip; },
                       [](const void* a) { return As(a)->Mask; }};
        CaptureConsole();
    }
    NetAddr Result{1, 1};
};

// The list is asked with 648 bytes and then, on 111, with the size it reported; it is asked
// a second time also after a first success.
TEST_F(AdaptersTest, TheLastAdapterGivesTheDirectedBroadcastAndEachFailureSaysWhere) {
    FakeAdapter loose{nullptr, "Loose", "0.0.0.0", "0.0.0.0"};
    FakeAdapter wifi{nullptr, "Wi-Fi", "192.168.1.20", "255.255.255.0"};
    FakeAdapter lan{&wifi, "Ethernet", "10.0.0.5", "255.0.0.0"};
    struct Case {
        const FakeAdapter* head;
        uint32_t needed, failure;
        int failAlloc;
        uint32_t broadcast; // the answer when it succeeds
        const char* error;  // the console when it fails
    } cases[] = {
        {&wifi, 648, 0, -1, Dotted("192.168.1.255"), nullptr},
        {&lan, 1296, 0, -1, Dotted("192.168.1.255"), nullptr},
        {&loose, 648, 0, -1, 0xFFFFFFFFu, nullptr},  // no address: all ones
        {nullptr, 648, 0, -1, 0xFFFFFFFFu, nullptr}, // an empty list: the same
        {&wifi, 648, 0, 0, 0, "Unable to get memeory for adapter memory (1).\nError IB-1\n"},
        {&wifi, 2000, 0, 1, 0, "Unable to get memeory for adapter memory (2).\nError IB-2\n"},
        {&wifi, 648, 232, -1, 0, "Can't get adapter information.\nError IB-3\n"},
    };
    Console(); // the listing as the console shows it is the settings test's
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.head != nullptr ? c.head->Description : "(empty)") +
                     std::to_string(c.needed));
        FakeHead = c.head;
        FakeNeeded = c.needed;
        FakeFailure = c.failure;
        FakeFailAlloc = c.failAlloc;
        Calls.clear();
        Allocs.clear();
        Frees = 0;
        Result = NetAddr{1, 1};
        CaptureConsole();
        bool ok = InitNetwork(&Result);
        std::string shown = Console();
        if (c.error != nullptr) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(shown, c.error);
            EXPECT_EQ(Result.Addr, 1u);
            std::string log = Log();
            EXPECT_EQ(log.substr(log.size() - 11),
                      std::string(c.error).substr(strlen(c.error) - 11));
            continue;
        }
        ASSERT_TRUE(ok);
        EXPECT_EQ(Result.Addr, c.broadcast);
        EXPECT_EQ(Result.Port, 9019);
        EXPECT_EQ(Calls, (std::vector<uint32_t>{648, c.needed}));
        std::vector<size_t> allocs = {648};
        if (c.needed != 648) {
            allocs.push_back(c.needed);
        }
        EXPECT_EQ(Allocs, allocs);
        EXPECT_EQ(Frees, static_cast<int>(allocs.size()) - 1);
    }
    const char* shown = "   Desc: \tEthernet\n     IP: \t10.0.0.5\n   Mask: \t255.0.0.0\n"
                        "   Desc: \tWi-Fi\n     IP: \t192.168.1.20\n   Mask: \t255.255.255.0\n";
    EXPECT_NE(Log().find(std::string(shown) + "Network successfully initialized.\n"),
              std::string::npos);
}

// The settings choose an adapter other than the last (marked in the listing, its network
// decides) or replace the destination; a chosen adapter that is missing says so, and the last
// one decides as without settings.
TEST_F(AdaptersTest, TheSettingsChooseTheAdapterOrTheDestination) {
    Console();
    FakeAdapter wifi{nullptr, "Wi-Fi", "192.168.1.20", "255.255.255.0"};
    FakeAdapter lan{&wifi, "Intel(R) Ethernet", "10.0.0.5", "255.0.0.0"};
    FakeHead = &lan;
    FakeNeeded = 1296;
    const std::string use = "    Use: \tthis adapter (setting adapter)\n";
    const std::string lanLines =
        "   Desc: \tIntel(R) Ethernet\n     IP: \t10.0.0.5\n   Mask: \t255.0.0.0\n";
    const std::string wifiLines =
        "   Desc: \tWi-Fi\n     IP: \t192.168.1.20\n   Mask: \t255.255.255.0\n";
    struct Case {
        NetworkSettings Setting;
        uint32_t Destination;
        std::string Shown;
    } cases[] = {
        {{ADAPTER_BY_ADDRESS, Dotted("10.0.0.5"), "", false, 0, false, 0},
         Dotted("10.255.255.255"),
         lanLines + use + wifiLines + "    Net: \t10.0.0.0\n\n"},
        {{ADAPTER_BY_DESCRIPTION, 0, "ethernet", false, 0, false, 0},
         Dotted("10.255.255.255"),
         lanLines + use + wifiLines + "    Net: \t10.0.0.0\n\n"},
        {{ADAPTER_BY_DESCRIPTION, 0, "Bluetooth", false, 0, false, 0},
         Dotted("192.168.1.255"),
         lanLines + wifiLines +
             "Setting adapter = Bluetooth not used: no adapter has this description; the last "
             "adapter decides as usual\n    Net: \t192.168.1.0\n\n"},
        {{ADAPTER_BY_ADDRESS, Dotted("10.0.0.6"), "", false, 0, false, 0},
         Dotted("192.168.1.255"),
         lanLines + wifiLines +
             "Setting adapter = 10.0.0.6 not used: no adapter has this address; the last "
             "adapter decides as usual\n    Net: \t192.168.1.0\n\n"},
        {{ADAPTER_LAST, 0, "", true, Dotted("192.168.1.63"), false, 0},
         Dotted("192.168.1.63"),
         lanLines + wifiLines +
             "    Net: \t192.168.1.0\n\nDiscovery goes to 192.168.1.63 port 9019 (setting "
             "broadcast)\n"},
        {{ADAPTER_BY_ADDRESS, Dotted("10.0.0.5"), "", false, 0, true, Dotted("10.0.0.9")},
         Dotted("10.0.0.9"),
         lanLines + use + wifiLines +
             "    Net: \t10.0.0.0\n\nDiscovery goes to 10.0.0.9 port 9019 (setting hub)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Shown.substr(c.Shown.size() - 40));
        NetworkSetting = c.Setting;
        Allocs.clear();
        CaptureConsole();
        ASSERT_TRUE(InitNetwork(&Result));
        EXPECT_EQ(Console(), c.Shown);
        EXPECT_EQ(Result.Addr, c.Destination);
        EXPECT_EQ(Result.Port, 9019);
    }

    // Chosen for listening and announcing: the list read for it serves the listing too.
    NetworkSetting = {ADAPTER_BY_DESCRIPTION, 0, "ether", false, 0, false, 0};
    Calls.clear();
    Allocs.clear();
    char ip[16] = "";
    CaptureConsole();
    ASSERT_TRUE(ChosenAdapterIp(ip));
    EXPECT_STREQ(ip, "10.0.0.5");
    ASSERT_TRUE(InitNetwork(&Result));
    EXPECT_EQ(Console(), lanLines + use + wifiLines + "    Net: \t10.0.0.0\n\n");
    EXPECT_EQ(Calls.size(), 2u);
    NetworkSetting = NetworkSettings{};
    EXPECT_FALSE(ChosenAdapterIp(ip));
}

} // namespace
