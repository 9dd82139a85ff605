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

const void* First(const void* buffer) {
    const FakeAdapter* head;
    memcpy(&head, buffer, sizeof(head));
    return head;
}
const void* Next(const void* a) {
    return static_cast<const FakeAdapter*>(a)->Next;
}
const char* Desc(const void* a) {
    return static_cast<const FakeAdapter*>(a)->Description;
}
const char* Ip(const void* a) {
    return static_cast<const FakeAdapter*>(a)->Ip;
}
const char* Mask(const void* a) {
    return static_cast<const FakeAdapter*>(a)->Mask;
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
        AdapterWalk = {First, Next, Desc, Ip, Mask};
        CaptureConsole();
    }
    NetAddr Result{1, 1};
};

TEST_F(AdaptersTest, OneAdapterGivesItsDirectedBroadcast) {
    FakeAdapter lan{nullptr, "LAN", "192.168.1.20", "255.255.255.0"};
    FakeHead = &lan;
    ASSERT_TRUE(InitNetwork(&Result));
    EXPECT_EQ(Result.Addr, Dotted("192.168.1.255"));
    EXPECT_EQ(Result.Port, 9019);
    // The list is asked for twice, the second time also after a first success.
    EXPECT_EQ(Calls, (std::vector<uint32_t>{648, 648}));
    EXPECT_EQ(Allocs, (std::vector<size_t>{648}));
    const char* shown = "   Desc: \tLAN\n     IP: \t192.168.1.20\n   Mask: \t255.255.255.0\n";
    EXPECT_EQ(Console(), std::string(shown) + "    Net: \t192.168.1.0\n\n");
    EXPECT_NE(Log().find(std::string(shown) + "Network successfully initialized.\n"),
              std::string::npos);
}

TEST_F(AdaptersTest, ALongListIsReadIntoABufferOfTheReportedSizeAndTheLastAdapterDecides) {
    FakeAdapter second{nullptr, "Wi-Fi", "192.168.1.20", "255.255.255.0"};
    FakeAdapter first{&second, "Ethernet", "10.0.0.5", "255.0.0.0"};
    FakeHead = &first;
    FakeNeeded = 1296;
    ASSERT_TRUE(InitNetwork(&Result));
    EXPECT_EQ(Calls, (std::vector<uint32_t>{648, 1296}));
    EXPECT_EQ(Allocs, (std::vector<size_t>{648, 1296}));
    EXPECT_EQ(Frees, 1);
    EXPECT_EQ(Result.Addr, Dotted("192.168.1.255"));
    std::string console = Console();
    EXPECT_NE(console.find("   Desc: \tEthernet\n     IP: \t10.0.0.5\n"), std::string::npos);
    EXPECT_NE(console.find("    Net: \t192.168.1.0\n"), std::string::npos);
    EXPECT_NE(Log().find("     IP: \t10.0.0.5\n"), std::string::npos);
}

TEST_F(AdaptersTest, AnAdapterWithoutAddressBroadcastsToAllOnes) {
    FakeAdapter none{nullptr, "Loose", "0.0.0.0", "0.0.0.0"};
    FakeHead = &none;
    ASSERT_TRUE(InitNetwork(&Result));
    EXPECT_EQ(Result.Addr, 0xFFFFFFFFu);
    EXPECT_NE(Console().find("    Net: \t0.0.0.0\n\n"), std::string::npos);
}

TEST_F(AdaptersTest, EachFailureSaysWhereAndGivesNoAddress) {
    struct Case {
        int failAlloc;
        uint32_t needed;
        uint32_t failure;
        const char* notice;
        const char* error;
    } cases[] = {
        {0, 648, 0, "Unable to get memeory for adapter memory (1).\n", "Error IB-1\n"},
        {1, 2000, 0, "Unable to get memeory for adapter memory (2).\n", "Error IB-2\n"},
        {-1, 648, 232, "Can't get adapter information.\n", "Error IB-3\n"},
    };
    Console(); // each case captures its own
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        FakeFailAlloc = c.failAlloc;
        FakeNeeded = c.needed;
        FakeFailure = c.failure;
        Allocs.clear();
        CaptureConsole();
        EXPECT_FALSE(InitNetwork(&Result));
        EXPECT_EQ(Console(), std::string(c.notice) + c.error);
        EXPECT_EQ(Result.Addr, 1u);
        std::string log = Log();
        EXPECT_EQ(log.substr(log.size() - strlen(c.error)), c.error);
    }
}

} // namespace
