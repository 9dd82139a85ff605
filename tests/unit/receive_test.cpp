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
int32_t NoInput() {
    return -1;
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
        Os.ReadConsoleChar = NoInput;
        Os.SpawnInstance = NetRecordSpawn;
    }
    // Hands a datagram over as the receive call would: in a buffer one byte longer.
    void Handle(std::vector<uint8_t> d, int32_t length = -2) {
        if (length == -2) {
            length = static_cast<int32_t>(d.size());
        }
        d.resize(d.size() + 1, 0xEE);
        HandleDatagram(d.data(), length);
    }
    std::vector<uint8_t> Address(const std::string& text) {
        std::vector<uint8_t> d = MakeMsg(2, 5);
        AppendText(d, text);
        return d;
    }
};

TEST_F(ReceiveTest, OnlyTheFirstVersionMismatchIsLogged) {
    MsgHeader h{};
    h.Version = 503;
    EXPECT_TRUE(ValidateMsgVersion(h, "X"));
    h.Version = 503 + (1 << 16); // all four bytes count
    h.Source = 2;
    h.Destination = 14;
    EXPECT_FALSE(ValidateMsgVersion(h, "HandleNetworkMsgs(KA)"));
    h.Version = 502;
    EXPECT_FALSE(ValidateMsgVersion(h, "Other"));
    EXPECT_EQ(Log(), "Log started.\nValidateMsgVersion(HandleNetworkMsgs(KA)) - Incorrect "
                     "Version. Found: 66039  Required: 503\n  Source: 2   Destination 14\n");
}

TEST_F(ReceiveTest, TheDumpShowsSignedNodesAndNamesTheTypesItKnows) {
    MsgHeader h{};
    h.MsgType = 9;
    h.Source = -1;
    h.Destination = 14;
    h.Version = 7;
    h.Length = 12;
    LogMessage(h, "A");
    h.MsgType = 5;
    LogMessage(h, "B");
    h.MsgType = 3;
    LogMessage(h, "C");
    EXPECT_EQ(Log(), "Log started.\n"
                     "Message logged by: A\n   To: 14  From: -1\n   Version: 7  Length: 12\n"
                     "   Type: Leep Alive\n"
                     "Message logged by: B\n   To: 14  From: -1\n   Version: 7  Length: 12\n"
                     "Message logged by: C\n   To: 14  From: -1\n   Version: 7  Length: 12\n"
                     "   Type: Update\n");
}

TEST_F(ReceiveTest, LengthGuards) {
    std::vector<uint8_t> ka = MakeMsg(2, 9);
    ka.resize(499);
    Handle(ka);
    EXPECT_EQ(CommMgrHeard.exchange(0), 1);
    EXPECT_FALSE(RestartPending.load());

    ka.resize(500); // an over-run: reported, relaunched, and still handled
    CaptureConsole();
    Handle(ka);
    EXPECT_EQ(Console(), "Fatal Error. Check log for details\n");
    EXPECT_EQ(CommMgrHeard.exchange(0), 1);
    EXPECT_TRUE(RestartPending.load());
    EXPECT_NE(Log().find("PollUDP() - Fatal: Buffer over run on DGRAM. Length = 500\n"),
              std::string::npos);

    for (int32_t length : {0, -1}) { // empty, or a receive error: nothing is routed
        CaptureConsole();
        Handle(MakeMsg(2, 9), length);
        EXPECT_EQ(Console(), "Zero Length msg received\n");
        EXPECT_EQ(CommMgrHeard.load(), 0);
    }
    EXPECT_EQ(NetSpawns.load(), 1);

    // Shorter than a header: the missing bytes read as zero (version 0 here).
    Handle(MakeMsg(2, 9), 24);
    EXPECT_EQ(CommMgrHeard.load(), 0);
}

TEST_F(ReceiveTest, RefusedMessagesAreReportedAndDumpedAndChangeNothing) {
    struct Case {
        std::vector<uint8_t> msg;
        const char* console;
        const char* logged; // the log line before the dump, or null
        const char* dumpedBy;
    } cases[] = {
        {MakeMsg(3, 9), "PollUDP() - Unhandled MSG CLASS: 3\n",
         "PollUDP() - Unhandled MSG CLASS: 3\n", "PollUDP"},
        {MakeMsg(2, 7), "HandleNetworkMsgs() - Unhandled MSG_TYPE: 7\n",
         "HandleNetworkMsgs() - Unhandled MSG_TYPE: 7\n", "HandleNetworkMsgs"},
        {MakeMsg(1, 1), "HandleDataMsgs() - Unknown MSG_TYPE: 1\n",
         "HandleDataMsgs() - Unknown MSG_TYPE: 1\n", "HandleDataMessages(Msg Type"},
        {MakeMsg(2, 9, 0), "HandleNetworkMsgs(Keep Alive) - Invalid message received\n", nullptr,
         "HandleNetworkMessages(Keep Alive)"},
        {MakeMsg(2, 5, 0), "HandleNetworkMsgs(Address) - Invalid message received\n", nullptr,
         "HandleNetworkMessages(Address)"},
    };
    VersionReported = true; // the version line is tested on its own
    for (const Case& c : cases) {
        SCOPED_TRACE(c.console);
        CaptureConsole();
        std::string before = Log();
        Handle(c.msg);
        EXPECT_EQ(Console(), c.console);
        std::string added = Log().substr(before.size());
        EXPECT_EQ(added.substr(0, added.find("   To:")), std::string(c.logged ? c.logged : "") +
                                                             "Message logged by: " + c.dumpedBy +
                                                             "\n");
        EXPECT_EQ(CommMgrHeard.load(), 0);
        EXPECT_EQ(CommMgrConnected.load(), 0);
    }
    EXPECT_FALSE(RestartPending.load());
}

TEST_F(ReceiveTest, AddressMessagesBringTheLinkUpAndReplaceTheSocket) {
    CaptureConsole();
    Handle(Address("127.0.0.1 9021"));
    EXPECT_EQ(Console(), "Connected to CommMgr\n   Port: 9021\n     IP: 127.0.0.1\n");
    EXPECT_EQ(CommMgrConnected.load(), 1);
    EXPECT_EQ(CommMgrHeard.load(), 1);
    EXPECT_EQ(ClientSocket.load(), 40);
    NetAddr to = UnpackNetAddr(CommMgrAddr.load());
    EXPECT_EQ(to.Addr, Dotted("127.0.0.1"));
    EXPECT_EQ(to.Port, 9021);
    EXPECT_TRUE(Closed.empty());

    // While connected: a new socket and destination (port taken to 16 bits), nothing printed.
    CloseOk = false;
    CaptureConsole();
    Handle(Address("  127.0.0.2\t70000 trailing"));
    EXPECT_EQ(Console(), "Error closing existing socket\n");
    EXPECT_EQ(Closed, std::vector<PlatformSocket>{40});
    EXPECT_EQ(ClientSocket.load(), 41);
    to = UnpackNetAddr(CommMgrAddr.load());
    EXPECT_EQ(to.Addr, Dotted("127.0.0.2"));
    EXPECT_EQ(to.Port, 4464);
}

TEST_F(ReceiveTest, AnAddressMessageWithoutAUsableAddressChangesNothing) {
    Handle(Address("127.0.0.1 9021"));
    CommMgrHeard = 0;
    const uint64_t addr = CommMgrAddr.load();
    for (const char* text : {"", "   ", "127.0.0.1", "127.0.0.1 port", "host.example 9021",
                             "255.255.255.255 9021", "1.2.3.4.5 9021"}) {
        SCOPED_TRACE(text);
        CaptureConsole();
        Handle(Address(text));
        EXPECT_EQ(Console(),
                  "HandleNetworkMsgs(Address) - No usable address and port in message\n");
        EXPECT_EQ(ClientSocket.load(), 40);
        EXPECT_EQ(CommMgrAddr.load(), addr);
        EXPECT_EQ(CommMgrHeard.load(), 0);
        EXPECT_TRUE(Closed.empty());
    }
    EXPECT_NE(Log().find("No usable address and port in message\n"
                         "Message logged by: HandleNetworkMessages(Address)\n"),
              std::string::npos);
}

TEST_F(ReceiveTest, ProcessEndingMessages) {
    Handle(Address("127.0.0.1 9021"));
    // A shutdown order ends the process whatever its version, closing the client socket.
    EXPECT_EQ(ExitCodeOf([&] { Handle(MakeMsg(2, 12, 0)); }), EXIT_FATAL);
    EXPECT_EQ(Closed, std::vector<PlatformSocket>{40});
    EXPECT_NE(Log().find("Shutdown message received. Bye\n"), std::string::npos);

    // No client socket to be had: the operator is told and the process ends.
    SetUpStubs(); // the exit trap put the OS table back
    NextSocket = -1;
    CaptureConsole();
    EXPECT_EQ(ExitCodeOf([&] { Handle(Address("127.0.0.1 9021")); }), EXIT_FATAL);
    EXPECT_NE(Console().find("Unable to continue. Check log for details\n"), std::string::npos);
    EXPECT_NE(Log().find("PollUdp() - Socket Open Failure\n"), std::string::npos);
}

// Variable changes, with the simulator side not connected (every known change is accepted).
struct VarChangeTest : ReceiveTest {
    std::vector<uint8_t> Changes(int32_t count, int32_t version = 503) {
        return MakeMsg(1, 2, version, count);
    }
    // The var type message (and its dump) shows which entry the parse reached.
    std::string Stopped() {
        std::string log = Log();
        size_t at = log.find("Unhandled vartype: ");
        return at == std::string::npos ? "" : log.substr(at, log.find('\n', at) - at);
    }
};

TEST_F(VarChangeTest, EntriesAreReadWithTheWidthOfTheirSlot) {
    std::vector<uint8_t> d = Changes(4);
    Append<uint32_t>(d, 100); // integer slot: 4-byte value
    Append<int32_t>(d, 2);
    Append<uint32_t>(d, 0); // double slot: 8-byte value
    Append<double>(d, 1.5);
    Append<uint32_t>(d, 16); // a slot no entry names: the message stops here
    Append<int32_t>(d, 0);
    Append<uint32_t>(d, 100);
    Append<int32_t>(d, 2);
    CaptureConsole();
    Handle(d);
    EXPECT_EQ(Console(), "Unhandled vartype: 0\n");
    EXPECT_EQ(Stopped(), "Unhandled vartype: 0");
    EXPECT_NE(Log().find("Message logged by: HandleDataMessages(VarType)\n"), std::string::npos);
    EXPECT_EQ(CommMgrHeard.load(), 0); // changes are no sign of life

    std::vector<uint8_t> seven = Changes(1);
    Append<uint32_t>(seven, 7);
    Append<double>(seven, 1.0);
    CaptureConsole();
    Handle(seven);
    EXPECT_EQ(Console(), "Unhandled vartype: 7\n");
}

TEST_F(VarChangeTest, CountsAndIndicesBeyondTheMessageOrTheTableEndIt) {
    std::vector<uint8_t> none = Changes(0);
    Append<uint32_t>(none, 16); // would stop with a message if it were read
    Handle(none);
    none = Changes(-5);
    Append<uint32_t>(none, 16);
    Handle(none);
    EXPECT_EQ(Stopped(), "");

    struct Case {
        std::vector<uint8_t> msg;
        const char* line;
        const char* dumpedBy;
    } cases[3] = {
        {Changes(2), "HandleDataMsgs() - Entry 2 of 2 runs past the end of the message\n",
         "HandleDataMessages(Count)"},
        {Changes(1), "HandleDataMsgs() - Entry 1 of 1 runs past the end of the message\n",
         "HandleDataMessages(Count)"},
        {Changes(1), "HandleDataMsgs() - FsxIndex out of range: 300\n",
         "HandleDataMessages(FsxIndex)"},
    };
    Append<uint32_t>(cases[0].msg, 100); // one whole entry, then nothing
    Append<int32_t>(cases[0].msg, 2);
    Append<uint32_t>(cases[1].msg, 0); // a double entry cut short
    Append<int32_t>(cases[1].msg, 0);
    Append<uint32_t>(cases[2].msg, 300);
    Append<int32_t>(cases[2].msg, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CaptureConsole();
        std::string before = Log();
        Handle(c.msg);
        EXPECT_EQ(Console(), c.line);
        EXPECT_EQ(Log().substr(before.size()).substr(0, strlen(c.line) + 20 + strlen(c.dumpedBy)),
                  std::string(c.line) + "Message logged by: " + c.dumpedBy + "\n");
    }
}

TEST_F(VarChangeTest, AWrongVersionRelaunchesButStillAppliesTheEntries) {
    VersionReported = true;
    std::vector<uint8_t> d = Changes(1, 502);
    Append<uint32_t>(d, 16);
    CaptureConsole();
    Handle(d);
    EXPECT_EQ(Console(),
              "HandleDataMsgs(FSX IN) - Invalid message received\nUnhandled vartype: 0\n");
    EXPECT_TRUE(RestartPending.load());
    EXPECT_NE(Log().find("Message logged by: HandleDataMsgs(FSX IN)\n"), std::string::npos);
}

TEST_F(VarChangeTest, ARefusedChangeIsDumpedAndTheNextEntryStillApplied) {
    // With a simulator session open, slot 13 (integer) and slot 0 (double) are not inputs
    // the simulator side knows; both are refused, and nothing is sent for them.
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    std::vector<uint8_t> d = Changes(2);
    Append<uint32_t>(d, 13);
    Append<int32_t>(d, 1);
    Append<uint32_t>(d, 0);
    Append<double>(d, 1.0);
    CaptureConsole();
    Handle(d);
    Console();
    std::string log = Log();
    size_t first = log.find("Message logged by: HandleDataMessages(int)\n");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Message logged by: HandleDataMessages(double)\n", first),
              std::string::npos);
}

} // namespace
