#include "harness.h"

#include <algorithm>
#include <cerrno>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "net/blocks.h"
#include "net/msg.h"
#include "sim/simconnect_api.h"
#include "tools/simulator/stand_flight.h"

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
    return WindowsDir("win64");
}
std::string WindowsDir(const std::string& preset) {
    std::string dir = Env(preset == "win32" ? "KIV_WIN32_DIR" : "KIV_WIN64_DIR");
    return (!dir.empty() && fs::exists(fs::path(dir) / "kivfsx.exe")) ? dir : "";
}
std::string WineRun() {
    return (fs::path(Env("KIV_SOURCE_DIR")) / "cmake" / "wine-run.sh").string();
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
    int ignored = system("ip link del v3 2>/dev/null"); // v2 may have been renamed
    (void)ignored;
}

void E2eTest::SetUp() {
    ASSERT_FALSE(KivfsxPath().empty()) << "KIV_BIN is not set: run through CTest";
    // A folder of its own that did not exist before (process ids repeat in every namespace).
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-'); // a parameterised test's name
    std::string dir = (fs::temp_directory_path() / ("kivfsx-e2e-" + name + "-XXXXXX")).string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr) << dir << ": " << strerror(errno);
    Dir = dir;
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

namespace {

// The object ids of the traffic lists in the hub's PAYLOAD lines of Block2 (the payload in
// hex, from the end of the header on), one list per line, free slots left out.
std::vector<std::vector<uint32_t>> PublishedTraffic(const fs::path& hubRecord) {
    std::vector<std::vector<uint32_t>> lists;
    for (const auto& line : ReadLines(hubRecord, "PAYLOAD n=2 ")) {
        std::string hex = Field(line, "hex");
        std::vector<uint32_t> ids;
        for (uint32_t k = 0; k < BLOCK2_TRAFFIC_SIZE / sizeof(TrafficSlot); ++k) {
            size_t at = 2 * (BLOCK2_TRAFFIC - MSG_HEADER_SIZE + k * sizeof(TrafficSlot) +
                             offsetof(TrafficSlot, ObjectId));
            if (at + 8 > hex.size()) {
                break;
            }
            uint32_t id = 0;
            for (int b = 3; b >= 0; --b) {
                id = (id << 8) |
                     static_cast<uint32_t>(std::stoul(hex.substr(at + 2 * b, 2), nullptr, 16));
            }
            if (id != 0) {
                ids.push_back(id);
            }
        }
        lists.push_back(ids);
    }
    return lists;
}

} // namespace

namespace {

// Waits until the stand-in has listed the user's aircraft under `userId` and the hub has seen
// a list of traffic, then checks every list: AI aircraft, and the user's aircraft exactly when
// `userListed`. Object 1 is never listed.
void ExpectTrafficRoad(const fs::path& journal, const fs::path& hubRecord, const fs::path& kivOut,
                       uint32_t userId, bool userListed) {
    const std::string answer =
        "DELIVER id=" + std::to_string(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE) + " ";
    bool listed = false, published = false, userPublished = false;
    for (uint64_t end = NowMs() + 30000;
         NowMs() < end && !(listed && published && userPublished == userListed); SleepMs(200)) {
        for (const auto& line : ReadLines(journal, answer)) {
            listed = listed || Field(line, "object") == std::to_string(userId);
        }
        for (const auto& ids : PublishedTraffic(hubRecord)) {
            published = published || !ids.empty();
            userPublished = userPublished || std::count(ids.begin(), ids.end(), userId) > 0;
        }
    }
    ASSERT_TRUE(listed) << "the stand-in listed no user aircraft\n" << ReadText(journal);
    ASSERT_TRUE(published) << "no traffic reached the hub\n" << ReadText(kivOut);
    EXPECT_EQ(userPublished, userListed) << ReadText(kivOut);
    bool ai = false;
    for (const auto& ids : PublishedTraffic(hubRecord)) {
        for (uint32_t id : ids) {
            EXPECT_NE(id, STAND_USER_OBJECT_ID) << "object 1 was published as traffic";
            EXPECT_TRUE(id >= STAND_AI_FIRST_ID || (userListed && id == userId)) << id;
            ai = ai || id >= STAND_AI_FIRST_ID;
        }
    }
    EXPECT_TRUE(ai) << "no AI aircraft was published";
}

} // namespace

void E2eTest::ExpectTrafficWithoutTheUser(uint32_t userId) {
    ExpectTrafficRoad(Journal, HubRecord, KivOut, userId, false);
}

void E2eTest::ExpectTrafficWithTheUser(uint32_t userId) {
    ExpectTrafficRoad(Journal, HubRecord, KivOut, userId, true);
}

namespace {

constexpr uint16_t STRANGER_PORT = 9555; // where the stranger's address message points
const char* const STRANGER = "127.0.0.1";

// A UDP socket bound to `address`:`port` (0: any port), non-blocking.
int BoundUdp(const char* address, uint16_t port) {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address, &sa.sin_addr);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
        ADD_FAILURE() << "cannot bind " << address << ":" << port << ": " << strerror(errno);
    }
    return s;
}

std::vector<uint8_t> Message(int32_t msgClass, int32_t msgType, int32_t count = 0) {
    MsgHeader h{msgClass, msgType, 0, count, 0, 0, MSG_VERSION, COMMGR_NODE, NODE_ID};
    std::vector<uint8_t> d(sizeof(h));
    memcpy(d.data(), &h, sizeof(h));
    return d;
}

// Datagrams waiting on a non-blocking socket, read away.
int Drain(int s) {
    int n = 0;
    uint8_t buffer[2048];
    while (recv(s, buffer, sizeof(buffer), 0) >= 0) {
        ++n;
    }
    return n;
}

} // namespace

void E2eTest::ExpectSenderFilterRoad(bool filtered, Proc& hub, Proc& kiv) {
    ASSERT_TRUE(WaitForText(HubRecord, "DISCOVERY ", 60000)) << ReadText(KivOut);
    std::string text = Field(ReadLines(HubRecord, "DISCOVERY ").front(), "text");
    std::string kivAddress = text.substr(0, text.find(' '));
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 30000)) << ReadText(KivOut);
    ASSERT_TRUE(WaitForText(HubRecord, "BLOCK ", 10000));
    ASSERT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 20000)) << ReadText(KivOut);
    const std::string shown = "Datagrams are handled only from 10.77.0.3 (setting senders)";
    EXPECT_EQ(CountOf(ReadText(KivOut), shown), filtered ? 1u : 0u) << ReadText(KivOut);

    int listener = BoundUdp(STRANGER, STRANGER_PORT);
    int stranger = BoundUdp(STRANGER, 0);
    sockaddr_in kivAt{};
    kivAt.sin_family = AF_INET;
    kivAt.sin_port = htons(9030);
    inet_pton(AF_INET, kivAddress.c_str(), &kivAt.sin_addr);
    auto send = [&](const std::vector<uint8_t>& d) {
        ASSERT_EQ(sendto(stranger, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&kivAt),
                         sizeof(kivAt)),
                  static_cast<ssize_t>(d.size()));
    };
    // A heading bug change the hub never sends, an address message that points the blocks at
    // the stranger's listener, and a keep-alive.
    std::vector<uint8_t> change = Message(1, 2, 1);
    for (uint32_t word : {116u, 201u}) {
        change.insert(change.end(), reinterpret_cast<uint8_t*>(&word),
                      reinterpret_cast<uint8_t*>(&word) + 4);
    }
    std::vector<uint8_t> address = Message(2, 5);
    std::string where = std::string(STRANGER) + " " + std::to_string(STRANGER_PORT);
    address.insert(address.end(), where.begin(), where.end());
    send(change);
    send(address);
    send(Message(2, 9));
    // The hub's own change comes after them on the same socket: once it is in the journal,
    // the stranger's have been handled.
    SendLine(hub, "set 116=45");
    ASSERT_TRUE(WaitForText(Journal, "sim=HEADING_BUG_SET data=45 ", 10000)) << ReadText(Journal);
    EXPECT_EQ(ReadText(Journal).find("sim=HEADING_BUG_SET data=201 ") == std::string::npos,
              filtered);
    // The blocks go where the last accepted address message said.
    SleepMs(1000);
    Drain(listener);
    size_t hubBlocks = ReadLines(HubRecord, "BLOCK ").size();
    SleepMs(1500);
    int strangerBlocks = Drain(listener);
    size_t hubGained = ReadLines(HubRecord, "BLOCK ").size() - hubBlocks;
    if (filtered) {
        EXPECT_EQ(strangerBlocks, 0);
        EXPECT_GE(hubGained, 3u);
        const std::string named = "PollUDP() - Datagram from 127.0.0.1 dropped unread: not a "
                                  "sender the setting senders accepts (said once per sender)\n";
        EXPECT_EQ(CountOf(ReadText(KivOut), named), 1u) << ReadText(KivOut);
        EXPECT_EQ(CountOf(ReadText(Dir / "KivFSX.log"), named), 1u);
        // The stranger's shutdown order ends nothing; the hub's does.
        send(Message(2, 12));
        SleepMs(1000);
        EXPECT_TRUE(Running(kiv));
        SendLine(hub, "shutdown");
    } else {
        EXPECT_GE(strangerBlocks, 3);
        EXPECT_EQ(ReadText(KivOut).find("dropped unread"), std::string::npos);
        send(Message(2, 12));
    }
    EXPECT_EQ(WaitExit(kiv, 15000), 100);
    EXPECT_TRUE(WaitForText(Dir / "KivFSX.log", "Shutdown message received. Bye\n", 5000));
    close(listener);
    close(stranger);
}
