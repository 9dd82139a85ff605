// The receive path fed through HandleDatagram: the version check and the dump, the length
// guards, the failure table, the address message, shutdown and variable changes.
#include "net_fixture.h"

#include "net/receive.h"

namespace {

std::vector<PlatformSocket> Closed;
int NextSocket = 0;
bool CloseOk = true;

PlatformSocket StubSocket(bool) {
    return NextSocket == -1 ? PLATFORM_NO_SOCKET : NextSocket++;
}
bool StubClose(PlatformSocket s) {
    Closed.push_back(s);
    return CloseOk;
}

struct ReceiveTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        Closed.clear();
        NextSocket = 40;
        CloseOk = true;
        SetUpStubs();
    }
    void SetUpStubs() {
        Os.UdpSocket = StubSocket;
        Os.CloseSocket = StubClose;
        Os.ReadConsoleChar = [] { return -1; };
        Os.SpawnInstance = NetRecordSpawn;
    }
    // Hands a datagram over as the receive call would, in a buffer one byte longer; returns
    // the console output.
    std::string Handle(std::vector<uint8_t> d, int32_t length = -2) {
        if (length == -2) {
            length = static_cast<int32_t>(d.size());
        }
        d.resize(d.size() + 1, 0xEE);
        CaptureConsole();
        HandleDatagram(d.data(), length);
        return Console();
    }
    std::vector<uint8_t> Address(const std::string& text) {
        std::vector<uint8_t> d = MakeMsg(2, 5);
        AppendText(d, text);
        return d;
    }
    // Variable changes: entries of (slot, value); the value's width is up to the test.
    std::vector<uint8_t> Changes(int32_t count, int32_t version = 503) {
        return MakeMsg(1, 2, version, count);
    }
    // What the log gained while `body` ran.
    template <typename F> std::string Added(F body) {
        size_t before = Log().size();
        body();
        return Log().substr(before);
    }
};

TEST_F(ReceiveTest, VersionMismatchLoggedOnceAndDumpNamesKnownTypes) {
    MsgHeader h{};
    h.Version = 503 + (1 << 16); // all four bytes count
    h.Source = -1;
    h.Destination = 14;
    EXPECT_FALSE(ValidateMsgVersion(h, "HandleNetworkMsgs(KA)"));
    h.Version = 502;
    EXPECT_FALSE(ValidateMsgVersion(h, "Other"));
    h.Length = 12;
    for (int32_t type : {9, 5, 3}) {
        h.MsgType = type;
        LogMessage(h, "A");
    }
    const char* dump = "Message logged by: A\n   To: 14  From: -1\n   Version: 502  Length: 12\n";
    EXPECT_EQ(Log(), std::string("Log started.\nValidateMsgVersion(HandleNetworkMsgs(KA)) - "
                                 "Incorrect Version. Found: 66039  Required: 503\n  Source: -1 "
                                 "  Destination 14\n") +
                         dump + "   Type: Leep Alive\n" + dump + dump + "   Type: Update\n");
}

TEST_F(ReceiveTest, LengthGuards) {
    std::vector<uint8_t> ka = MakeMsg(2, 9);
    ka.resize(499);
    Handle(ka);
    EXPECT_EQ(CommMgrHeard.exchange(0), 1);
    EXPECT_FALSE(RestartPending.load());

    ka.resize(500); // an over-run: reported, relaunched, and still handled
    EXPECT_EQ(Handle(ka), "Fatal Error. Check log for details\n");
    EXPECT_EQ(CommMgrHeard.exchange(0), 1);
    EXPECT_TRUE(RestartPending.load());
    EXPECT_NE(Log().find("PollUDP() - Fatal: Buffer over run on DGRAM. Length = 500\n"),
              std::string::npos);
    for (int32_t length : {0, -1}) { // empty, or a receive error: nothing is routed
        EXPECT_EQ(Handle(MakeMsg(2, 9), length), "Zero Length msg received\n");
    }
    Handle(MakeMsg(2, 9), 24); // shorter than a header: the missing bytes read as zero
    EXPECT_EQ(CommMgrHeard.load(), 0);
    EXPECT_EQ(NetSpawns.load(), 1);
}

TEST_F(ReceiveTest, RefusedMessagesAreReportedAndDumpedAndChangeNothing) {
    struct Case {
        std::vector<uint8_t> Msg;
        const char* Shown;
        bool Logged; // the console line is also logged before the dump
        const char* DumpedBy;
    } cases[] = {
        {MakeMsg(3, 9), "PollUDP() - Unhandled MSG CLASS: 3\n", true, "PollUDP"},
        {MakeMsg(2, 7), "HandleNetworkMsgs() - Unhandled MSG_TYPE: 7\n", true, "HandleNetworkMsgs"},
        {MakeMsg(1, 1), "HandleDataMsgs() - Unknown MSG_TYPE: 1\n", true,
         "HandleDataMessages(Msg Type"},
        {MakeMsg(2, 9, 0), "HandleNetworkMsgs(Keep Alive) - Invalid message received\n", false,
         "HandleNetworkMessages(Keep Alive)"},
        {MakeMsg(2, 5, 0), "HandleNetworkMsgs(Address) - Invalid message received\n", false,
         "HandleNetworkMessages(Address)"},
    };
    VersionReported = true; // the version line is tested on its own
    for (const Case& c : cases) {
        std::string added = Added([&] { EXPECT_EQ(Handle(c.Msg), c.Shown); });
        EXPECT_EQ(added.substr(0, added.find("   To:")), (c.Logged ? std::string(c.Shown) : "") +
                                                             "Message logged by: " + c.DumpedBy +
                                                             "\n");
        EXPECT_EQ(CommMgrHeard.load() + CommMgrConnected.load(), 0);
    }
    EXPECT_FALSE(RestartPending.load());
}

TEST_F(ReceiveTest, AddressMessagesBringTheLinkUpAndReplaceTheSocket) {
    EXPECT_EQ(Handle(Address("127.0.0.1 9021")),
              "Connected to CommMgr\n   Port: 9021\n     IP: 127.0.0.1\n");
    EXPECT_EQ(CommMgrConnected.load() + CommMgrHeard.load(), 2);
    EXPECT_EQ(ClientSocket.load(), 40);
    EXPECT_EQ(CommMgrAddr.load(), PackNetAddr(NetAddr{Dotted("127.0.0.1"), 9021}));

    // Without a usable address and port nothing changes.
    CommMgrHeard = 0;
    for (const char* text : {"", "127.0.0.1", "127.0.0.1 port", "host.example 9021",
                             "255.255.255.255 9021", "1.2.3.4.5 9021"}) {
        EXPECT_EQ(Handle(Address(text)),
                  "HandleNetworkMsgs(Address) - No usable address and port in message\n");
    }
    EXPECT_NE(Log().find("No usable address and port in message\n"
                         "Message logged by: HandleNetworkMessages(Address)\n"),
              std::string::npos);
    EXPECT_EQ(CommMgrHeard.load(), 0);
    EXPECT_EQ(ClientSocket.load(), 40);
    EXPECT_EQ(CommMgrAddr.load(), PackNetAddr(NetAddr{Dotted("127.0.0.1"), 9021}));
    EXPECT_TRUE(Closed.empty());

    // While connected: a new socket and destination (port taken to 16 bits), nothing printed.
    CloseOk = false;
    EXPECT_EQ(Handle(Address("  127.0.0.2\t70000 trailing")), "Error closing existing socket\n");
    EXPECT_EQ(Closed, std::vector<PlatformSocket>{40});
    EXPECT_EQ(ClientSocket.load(), 41);
    EXPECT_EQ(CommMgrAddr.load(), PackNetAddr(NetAddr{Dotted("127.0.0.2"), 4464}));
}

TEST_F(ReceiveTest, ProcessEndingMessages) {
    Handle(Address("127.0.0.1 9021"));
    // A shutdown order ends the process whatever its version, closing the client socket.
    EXPECT_EQ(ExitCodeOf([&] { Handle(MakeMsg(2, 12, 0)); }), EXIT_FATAL);
    Console(); // the exit left the capture running
    EXPECT_EQ(Closed, std::vector<PlatformSocket>{40});
    EXPECT_NE(Log().find("Shutdown message received. Bye\n"), std::string::npos);

    // No client socket to be had: the operator is told and the process ends.
    SetUpStubs(); // the exit trap put the OS table back
    NextSocket = -1;
    EXPECT_EQ(ExitCodeOf([&] { Handle(Address("127.0.0.1 9021")); }), EXIT_FATAL);
    EXPECT_NE(Console().find("Unable to continue. Check log for details\n"), std::string::npos);
    EXPECT_NE(Log().find("PollUdp() - Socket Open Failure\n"), std::string::npos);
}

// With the simulator side not connected every known change is accepted, so the "Unhandled
// vartype" line shows where the parse stopped.
TEST_F(ReceiveTest, ChangeEntriesAreReadWithTheWidthOfTheirSlot) {
    std::vector<uint8_t> d = Changes(4);
    Append<uint32_t>(d, 100); // integer slot: 4-byte value
    Append<int32_t>(d, 2);
    Append<uint32_t>(d, 0); // double slot: 8-byte value
    Append<double>(d, 1.5);
    Append<uint32_t>(d, 16); // a slot no entry names: the message stops here
    Append<int32_t>(d, 0);
    Append<uint32_t>(d, 100);
    Append<int32_t>(d, 2);
    EXPECT_EQ(Added([&] {
                  EXPECT_EQ(Handle(d), "Unhandled vartype: 0\n");
              }).find("Message logged by: HandleDataMessages(VarType)\n"),
              strlen("Unhandled vartype: 0\n"));
    EXPECT_EQ(CommMgrHeard.load(), 0); // changes are no sign of life

    for (int32_t count : {0, -5}) { // nothing is read
        std::vector<uint8_t> none = Changes(count);
        Append<uint32_t>(none, 16);
        EXPECT_EQ(Handle(none), "");
    }
    // A wrong version relaunches but the entries are still applied.
    VersionReported = true;
    d = Changes(1, 502);
    Append<uint32_t>(d, 16);
    EXPECT_EQ(Handle(d),
              "HandleDataMsgs(FSX IN) - Invalid message received\nUnhandled vartype: 0\n");
    EXPECT_TRUE(RestartPending.load());
}

TEST_F(ReceiveTest, ChangesBeyondTheMessageOrTheTableEndIt) {
    struct Case {
        std::vector<uint8_t> Msg;
        const char* Line;
        const char* DumpedBy;
    } cases[3] = {
        {Changes(2), "HandleDataMsgs() - Entry 2 of 2 runs past the end of the message\n",
         "HandleDataMessages(Count)"},
        {Changes(1), "HandleDataMsgs() - Entry 1 of 1 runs past the end of the message\n",
         "HandleDataMessages(Count)"},
        {Changes(1), "HandleDataMsgs() - FsxIndex out of range: 300\n",
         "HandleDataMessages(FsxIndex)"},
    };
    Append<uint32_t>(cases[0].Msg, 100); // one whole entry, then nothing
    Append<int32_t>(cases[0].Msg, 2);
    Append<uint32_t>(cases[1].Msg, 0); // a double entry cut short
    Append<int32_t>(cases[1].Msg, 0);
    Append<uint32_t>(cases[2].Msg, 300);
    Append<int32_t>(cases[2].Msg, 0);
    for (const Case& c : cases) {
        std::string added = Added([&] { EXPECT_EQ(Handle(c.Msg), c.Line); });
        EXPECT_EQ(added.find(std::string(c.Line) + "Message logged by: " + c.DumpedBy + "\n"), 0u);
    }
    // Entries reach the form their var type names, value and all; each one refused is
    // dumped, and the next entry is still handed on.
    static std::vector<std::string> seen;
    seen.clear();
    SetVarChangeHandler(VarChangeHandler{
        [](int32_t index, int32_t v) {
            seen.push_back("int " + std::to_string(index) + "=" + std::to_string(v));
            return false;
        },
        [](int32_t index, double x) {
            seen.push_back("double " + std::to_string(index) + "=" + std::to_string(x));
            return false;
        }});
    std::vector<uint8_t> d = Changes(2);
    Append<uint32_t>(d, 13);
    Append<int32_t>(d, -7);
    Append<uint32_t>(d, 0);
    Append<double>(d, 1.5);
    std::string log = Added([&] { Handle(d); });
    SetVarChangeHandler(VarChangeHandler{[](int32_t, int32_t) { return true; },
                                         [](int32_t, double) { return true; }});
    EXPECT_EQ(seen, (std::vector<std::string>{"int 13=-7", "double 0=1.500000"}));
    size_t first = log.find("Message logged by: HandleDataMessages(int)\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Message logged by: HandleDataMessages(double)\n", first),
              std::string::npos);
}

} // namespace
