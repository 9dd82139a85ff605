// The phases of a run: steady state, bursts, input latency (see main.cpp).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "run.h"
#include "tools/commgr/messages.h"

namespace {

constexpr uint32_t BURST_DATAGRAMS = 50000;
constexpr uint32_t BURST_BATCH = 25; // datagrams between pauses of 1 ms
constexpr uint32_t LATENCY_SAMPLES = 200;
constexpr uint32_t LATENCY_SPACING_MS = 50;
constexpr uint32_t WARM_UP_MS = 3000;
constexpr uint32_t SET_EVERY_MS = 2000; // variable changes during the steady state
// The program's threads in the order main starts them (thread ids rise in that order).
const char* const THREAD_ROLES[] = {"main: simulator session, stand-in dispatch", "receive",
                                    "block sender", "link monitor", "traffic poll"};

// The steady-state CPU share of KivFSX (percent of a core), which the bursts discount.
double KivShare = 0;

// Heap allocations of KivFSX so far, from the preloaded counter.
double Allocations(pid_t pid) {
    std::remove((Work + "/allocs.txt").c_str());
    kill(pid, SIGUSR2);
    for (int i = 0; i < 100; ++i) {
        std::ifstream in(Work + "/allocs.txt");
        double n = 0;
        if (in >> n) {
            return n;
        }
        SleepMs(10);
    }
    return -1;
}

// Fills `to` and returns a new UDP socket.
int UdpTo(const char* address, uint16_t port, sockaddr_in* to) {
    *to = sockaddr_in{};
    to->sin_family = AF_INET;
    to->sin_port = htons(port);
    inet_pton(AF_INET, address, &to->sin_addr);
    return socket(AF_INET, SOCK_DGRAM, 0);
}

// Sends the burst of keep-alives to `port` and returns the CPU seconds `pid` spent meanwhile
// beyond `idleShare` of one core; `received` gets the datagrams not dropped.
double Burst(pid_t pid, const char* address, uint16_t port, double idleShare, double* received) {
    sockaddr_in to;
    int s = UdpTo(address, port, &to);
    uint8_t message[64];
    uint32_t length = BuildKeepAlive(message);
    uint64_t drops = UdpReceiveDrops();
    double cpu = ProcessCpuSeconds(pid);
    int64_t start = WallUs();
    for (uint32_t i = 0; i < BURST_DATAGRAMS; ++i) {
        sendto(s, message, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (i % BURST_BATCH == BURST_BATCH - 1) {
            SleepMs(1);
        }
    }
    SleepMs(200); // the last ones are taken in
    double seconds = static_cast<double>(WallUs() - start) / 1e6;
    double spent = ProcessCpuSeconds(pid) - cpu - idleShare * seconds;
    close(s);
    *received = BURST_DATAGRAMS - static_cast<double>(UdpReceiveDrops() - drops);
    return spent;
}

// CPU share of one core of thread `t` between two readings over `window` seconds.
double ThreadShare(const ThreadCpu& t, const std::vector<ThreadCpu>& before, double window,
                   size_t* order) {
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i].Tid == t.Tid) {
            *order = i;
            return 100.0 * (t.Seconds - before[i].Seconds) / window;
        }
    }
    *order = std::size(THREAD_ROLES);
    return 100.0 * t.Seconds / window;
}

} // namespace

// 1. Steady state, linked: block intervals, CPU, heap allocations.
void Steady(uint32_t seconds) {
    SleepMs(WARM_UP_MS);
    int64_t t0 = WallUs();
    double kivCpu0 = ProcessCpuSeconds(Kiv.Pid), bareCpu0 = ProcessCpuSeconds(BareSleep.Pid);
    std::vector<ThreadCpu> threads0 = ThreadCpus(Kiv.Pid);
    double allocs0 = Allocations(Kiv.Pid);
    for (uint32_t waited = 0, step = 0; waited < seconds * 1000; waited += step) {
        SendLine(Hub, "set 100=2");
        step = std::min(SET_EVERY_MS, seconds * 1000 - waited);
        SleepMs(step);
    }
    double allocs = Allocations(Kiv.Pid) - allocs0;
    double kivCpu = ProcessCpuSeconds(Kiv.Pid) - kivCpu0;
    double bareCpu = ProcessCpuSeconds(BareSleep.Pid) - bareCpu0;
    std::vector<ThreadCpu> threads1 = ThreadCpus(Kiv.Pid);
    int64_t t1 = WallUs();
    double window = static_cast<double>(t1 - t0) / 1e6;

    std::vector<Datagram> hubSeen = ReadPcap(Work + "/hub.pcap");
    std::vector<int64_t> blocks = TimesTo(hubSeen, HUB_DATA_PORT, t0, t1);
    std::vector<int64_t> bareBlocks =
        TimesTo(ReadPcap(Work + "/bare.pcap"), BARE_HUB_DATA_PORT, t0, t1);
    Spread gaps = SpreadOf(GapsMs(blocks)), bare = SpreadOf(GapsMs(bareBlocks));
    Figures.push_back({"block interval p50", "ms", gaps.P50, bare.P50, "<= bare + 0.1 ms",
                       gaps.P50 <= bare.P50 + 0.1});
    Figures.push_back({"block interval p99", "ms", gaps.P99, bare.P99, "<= bare + 0.1 ms",
                       gaps.P99 <= bare.P99 + 0.1});
    Figures.push_back({"block interval max", "ms", gaps.Max, bare.Max, "", -1});
    KivShare = 100.0 * kivCpu / window;
    Figures.push_back({"CPU while linked", "% of a core", KivShare, 100.0 * bareCpu / window,
                       "< 0.3 %", KivShare < 0.3});
    for (const ThreadCpu& t : threads1) {
        size_t order = 0;
        double share = ThreadShare(t, threads0, window, &order);
        Note("thread %d (%s): %.4f %% of a core, %.0f %% of the process", static_cast<int>(t.Tid),
             order < std::size(THREAD_ROLES) ? THREAD_ROLES[order] : "other", share,
             KivShare > 0 ? 100.0 * share / KivShare : 0.0);
    }
    double datagrams = static_cast<double>(TimesTo(hubSeen, KIVFSX_PORT, t0, t1).size());
    double frames = window * FRAME_HZ;
    int none = allocs == 0;
    Figures.push_back({"heap allocations in the window", "count", allocs, -1, "0", none});
    Figures.push_back(
        {"allocations per datagram received", "count", allocs / datagrams, -1, "0", none});
    Figures.push_back({"allocations per visual frame", "count", allocs / frames, -1, "0", none});
    Figures.push_back({"allocations per block sent", "count",
                       allocs / static_cast<double>(blocks.size()), -1, "0", none});
    Note("steady window %.1f s: %zu blocks, %zu bare datagrams, %.0f datagrams to KivFSX, %.0f "
         "visual frames of 3 records",
         window, blocks.size(), bareBlocks.size(), datagrams, frames);
}

// 2. Bursts of keep-alives, two rounds each, alternating, after a warm-up of the bare loop;
// KivFSX's figure less its steady-state share. Then the memory, bursts included.
void Bursts() {
    Proc bareRecv = Spawn({SelfPath(), "bare-recv", std::to_string(BARE_RECV_PORT)}, Work, {},
                          Work + "/bare-out.txt");
    SleepMs(300);
    double bareGot = 0, kivGot = 0, bareSpent = 0, kivSpent = 0, got = 0, receiveSpent = 0;
    Burst(bareRecv.Pid, KIVFSX_ADDRESS, BARE_RECV_PORT, 0.0, &got);
    for (int round = 0; round < 2; ++round) {
        bareSpent += Burst(bareRecv.Pid, KIVFSX_ADDRESS, BARE_RECV_PORT, 0.0, &got);
        bareGot += got;
        std::vector<ThreadCpu> before = ThreadCpus(Kiv.Pid);
        kivSpent += Burst(Kiv.Pid, KIVFSX_ADDRESS, KIVFSX_PORT, KivShare / 100.0, &got);
        std::vector<ThreadCpu> after = ThreadCpus(Kiv.Pid);
        kivGot += got;
        if (before.size() >= 2 && after.size() >= 2) {
            receiveSpent += after[1].Seconds - before[1].Seconds; // the second thread started
        }
    }
    Stop(bareRecv);
    double perBare = 1e6 * bareSpent / bareGot, perKiv = 1e6 * kivSpent / kivGot;
    Figures.push_back({"CPU per received datagram, burst", "us", perKiv, perBare,
                       "bare/KivFSX >= 0.9", perBare / perKiv >= 0.9});
    Note("two bursts of %u keep-alives each: bare took in %.0f, KivFSX %.0f; KivFSX's receive "
         "thread alone %.3f us per datagram",
         BURST_DATAGRAMS, bareGot, kivGot, 1e6 * receiveSpent / kivGot);
    Memory mem = ReadMemory(Kiv.Pid), bareMem = ReadMemory(BareSleep.Pid);
    Figures.push_back({"peak resident memory", "MiB", mem.PeakMiB, bareMem.PeakMiB, "< 3 MiB",
                       mem.PeakMiB < 3.0});
    Note("KivFSX resident now: %.2f MiB mapped files (program, libraries, the counter), %.2f MiB "
         "anonymous",
         mem.MappedMiB, mem.AnonMiB);
}

// 3. Input latency, on a second KivFSX run with the timed journal: a variable change to the
// event's call into the library, beside datagram -> bare receive -> the same call. Both
// datagrams leave the same socket, each stamped just before its send.
void Latency() {
    int64_t started = WallUs();
    Kiv = StartKivfsx({{"KIVSIM_JOURNAL", Work + "/journal.txt"}, {"KIVSIM_JOURNAL_TIMES", "1"}});
    Proc bareCall = Spawn(
        {SelfPath(), "bare-call", std::to_string(BARE_CALL_PORT), StoreDir() + "/SimConnect.dll"},
        Work, {{"KIVSIM_JOURNAL", Work + "/bare-journal.txt"}, {"KIVSIM_JOURNAL_TIMES", "1"}},
        Work + "/bare-out.txt");
    bool linked = WaitLinked(started);
    SleepMs(1000);
    sockaddr_in toKiv, toBare;
    int s = UdpTo(KIVFSX_ADDRESS, KIVFSX_PORT, &toKiv);
    close(UdpTo(KIVFSX_ADDRESS, BARE_CALL_PORT, &toBare));
    VarSetting setting{100, 5, 2, 0.0};
    uint8_t message[COMMGR_MAX_VAR_MESSAGE];
    uint32_t length = BuildVarChange(&setting, 1, message);
    std::vector<int64_t> sends, bareSends;
    for (uint32_t i = 0; linked && i < LATENCY_SAMPLES; ++i) {
        sends.push_back(WallUs());
        sendto(s, message, length, 0, reinterpret_cast<sockaddr*>(&toKiv), sizeof toKiv);
        SleepMs(LATENCY_SPACING_MS / 2);
        bareSends.push_back(WallUs());
        sendto(s, message, length, 0, reinterpret_cast<sockaddr*>(&toBare), sizeof toBare);
        SleepMs(LATENCY_SPACING_MS / 2);
    }
    close(s);
    SleepMs(300);
    Stop(bareCall), Stop(Kiv);
    const std::vector<std::string> CALLS{"CALL TransmitClientEvent"};
    Spread lat = SpreadOf(LatenciesUs(sends, JournalTimes(Work + "/journal.txt", CALLS)));
    Spread bare = SpreadOf(LatenciesUs(bareSends, JournalTimes(Work + "/bare-journal.txt", CALLS)));
    Figures.push_back({"input latency p50", "us", lat.P50, bare.P50, "", -1});
    Figures.push_back({"input latency p99", "us", lat.P99, bare.P99, "<= bare + 50 us",
                       lat.P99 <= bare.P99 + 50});
    Note("latency samples: KivFSX %u of %zu, bare %u of %zu", lat.Count, sends.size(), bare.Count,
         bareSends.size());
}
