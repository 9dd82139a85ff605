// The opt-in sender filter: the setting "senders" (its lines and what it accepts), and the
// receive path dropping every datagram of another sender before it is read, while the
// accepted sender's datagrams, and every sender's without the setting, are handled as usual.
#include "net_fixture.h"

#include "app/settings.h"
#include "net/receive.h"
#include "net/senders.h"
#include "sim/loader.h"
#include "text.h" // CountOf

namespace {

const char* const HUB = "10.77.0.3";
const char* const STRANGER = "10.78.0.9";

// What the next receive gives: the bytes, the length it reports, and the sender.
struct Arrival {
    std::vector<uint8_t> Bytes;
    int32_t Length;
    uint32_t From;
};
Arrival Next;
int32_t Changes = 0;

int32_t FakeRecvFrom(PlatformSocket, void* data, size_t size, NetAddr* from) {
    if (!Next.Bytes.empty()) {
        memcpy(data, Next.Bytes.data(), std::min(size, Next.Bytes.size()));
    }
    from->Addr = Next.From;
    from->Port = 9020;
    return Next.Length;
}

struct SendersTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        SenderFilterResetForTest();
        SimLibrarySetting = SimLibrarySettings{};
        Changes = 0;
        SetVarChangeHandler(VarChangeHandler{[](int32_t, int32_t) { return ++Changes > 0; },
                                             [](int32_t, double) { return ++Changes > 0; }});
        InstallStubs();
    }
    static void InstallStubs() {
        Os.RecvFrom = FakeRecvFrom;
        Os.UdpSocket = [](bool) { return PlatformSocket{40}; };
        Os.CloseSocket = [](PlatformSocket) { return true; };
        Os.SpawnInstance = NetRecordSpawn;
    }
    void TearDown() override {
        SenderFilterResetForTest();
        SetVarChangeHandler(VarChangeHandler{[](int32_t, int32_t) { return true; },
                                             [](int32_t, double) { return true; }});
        NetTest::TearDown();
    }
    std::string Settings(const std::string& text) {
        NetworkSetting = NetworkSettings{};
        SenderFilterResetForTest();
        CaptureConsole();
        ReadSettingsText(text.data(), static_cast<uint32_t>(text.size()));
        return Console();
    }
    // One datagram through PollUDP from `sender`; the console output.
    std::string Receive(const char* sender, std::vector<uint8_t> bytes, int32_t length = -2) {
        Next = Arrival{bytes, length == -2 ? static_cast<int32_t>(bytes.size()) : length,
                       Dotted(sender)};
        CaptureConsole();
        PollUDP();
        return Console();
    }
    static std::vector<uint8_t> Change() {
        std::vector<uint8_t> d = MakeMsg(1, 2, 503, 1);
        Append<uint32_t>(d, 100);
        Append<int32_t>(d, 2);
        return d;
    }
    static std::vector<uint8_t> Address() {
        std::vector<uint8_t> d = MakeMsg(2, 5);
        AppendText(d, "10.78.0.9 9021");
        return d;
    }
    // The accepted senders, dotted, in order.
    static std::string Accepted() {
        std::string out;
        for (uint32_t i = 0; i < SenderFilter.Count; ++i) {
            char dotted[16];
            PlatformInetNtoa(SenderFilter.Addr[i], dotted);
            out += std::string(out.empty() ? "" : " ") + dotted;
        }
        return out;
    }
};

const std::string EFFECT = ": datagrams only from these senders are handled (hub: the setting "
                           "hub's address); any other sender's are dropped unread\n";
const std::string DROPPED = " (setting senders); any other sender's are dropped unread\n";

TEST_F(SendersTest, TheSettingNamesAddressesOrTheHubAndFallsBackInOneLine) {
    const struct {
        std::string Text;
        std::string Accepted;
        std::string Shown;
    } cases[] = {
        {"senders = 10.77.0.3", "10.77.0.3",
         "Setting senders = 10.77.0.3" + EFFECT + "Datagrams are handled only from 10.77.0.3" +
             DROPPED},
        // The hub's address, whichever line comes first, beside another address.
        {"senders = hub, 10.77.0.7\nhub = 10.77.0.3\n", "10.77.0.7 10.77.0.3",
         "Setting senders = hub, 10.77.0.7" + EFFECT +
             "Setting hub = 10.77.0.3: discovery sent straight to the hub at this address, port "
             "9019 (no broadcast)\n"
             "Datagrams are handled only from 10.77.0.7, 10.77.0.3" +
             DROPPED},
        {"senders = hub 10.77.0.7", "",
         "Setting senders = hub 10.77.0.7" + EFFECT +
             "Setting senders = hub 10.77.0.7 not used: it names hub, but the setting hub is not "
             "in effect; every sender is accepted as usual\n"},
        {"senders = 10.77.0.3, the-hub", "",
         "Setting senders = 10.77.0.3, the-hub not used: the-hub is neither an IPv4 address "
         "(A.B.C.D) nor hub; every sender is accepted as usual\n"},
        {"senders = 0.0.0.0", "",
         "Setting senders = 0.0.0.0 not used: 0.0.0.0 is no sender's address; every sender is "
         "accepted as usual\n"},
        {"senders = 1.0.0.1 1.0.0.2 1.0.0.3 1.0.0.4 1.0.0.5 1.0.0.6 1.0.0.7 1.0.0.8 1.0.0.9", "",
         "Setting senders = 1.0.0.1 1.0.0.2 1.0.0.3 1.0.0.4 1.0.0.5 1.0.0.6 1.0.0.7 1.0.0.8 "
         "1.0.0.9 not used: more than 8 senders; every sender is accepted as usual\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        const std::string before = Log();
        EXPECT_EQ(Settings(c.Text), c.Shown);
        EXPECT_EQ(Log().substr(before.size()), c.Shown);
        EXPECT_EQ(Accepted(), c.Accepted);
    }
}

TEST_F(SendersTest, AnotherSendersDatagramsAreDroppedUnreadAndItIsNamedOnce) {
    Settings(std::string("senders = ") + HUB);
    const std::string named = std::string("PollUDP() - Datagram from ") + STRANGER +
                              " dropped unread: not a sender the setting senders accepts (said "
                              "once per sender)\n";
    // A change, an address, a keep-alive, a shutdown, an empty and an oversized datagram: none
    // is read, and only the first is named.
    EXPECT_EQ(Receive(STRANGER, Change()), named);
    EXPECT_EQ(Receive(STRANGER, Address()), "");
    EXPECT_EQ(Receive(STRANGER, MakeMsg(2, 9)), "");
    // The process goes on (the trap around it puts the OS table back).
    int32_t code = ExitCodeOf([&] { EXPECT_EQ(Receive(STRANGER, MakeMsg(2, 12)), ""); });
    EXPECT_EQ(code, -1);
    if (code != -1) {
        Console(); // the exit left the capture running
    }
    InstallStubs();
    EXPECT_EQ(Receive(STRANGER, {}), "");
    EXPECT_EQ(Receive(STRANGER, MakeMsg(2, 9), -1), ""); // too large: the sender is known
    EXPECT_EQ(Changes, 0);
    EXPECT_EQ(CommMgrConnected.load() + CommMgrHeard.load(), 0);
    EXPECT_EQ(NetSpawns.load(), 0);
    EXPECT_EQ(CountOf(Log(), named), 1u);

    // The hub's own datagrams are handled as ever.
    EXPECT_EQ(Receive(HUB, Change()), "");
    EXPECT_EQ(Changes, 1);
    Receive(HUB, MakeMsg(2, 9));
    EXPECT_EQ(CommMgrHeard.load(), 1);
    // A receive error that names no sender is not the filter's: it asks for a relaunch.
    EXPECT_EQ(Receive("0.0.0.0", {}, -1), "Zero Length msg received\n");
    EXPECT_EQ(NetSpawns.load(), 1);
    EXPECT_EQ(ExitCodeOf([&] { Receive(HUB, MakeMsg(2, 12)); }), EXIT_FATAL);
    Console(); // the exit left the capture running
}

TEST_F(SendersTest, TheRefusedSendersNamedAreBounded) {
    Settings(std::string("senders = ") + HUB);
    std::string shown;
    for (int round = 0; round < 2; ++round) {
        for (uint32_t i = 1; i <= MAX_NAMED_REFUSED_SENDERS + 4; ++i) {
            shown += Receive(("10.78.1." + std::to_string(i)).c_str(), MakeMsg(2, 9));
        }
    }
    EXPECT_EQ(CountOf(shown, "dropped unread: not a sender"), MAX_NAMED_REFUSED_SENDERS);
    EXPECT_EQ(CountOf(shown, "PollUDP() - Datagrams from more senders dropped (setting senders); "
                             "no further sender is named\n"),
              1u);
    EXPECT_EQ(CommMgrHeard.load(), 0);
}

} // namespace
