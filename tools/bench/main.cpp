// kivbench: the run's orchestration. Inside the private network namespace it starts the hub
// emulator, KivFSX with the simulator stand-in delivering a record of each block every visual
// frame, and the bare reference loops beside them; then, in three phases:
//   1. steady state (--seconds): block intervals, CPU, memory, heap allocations;
//   2. bursts of datagrams: CPU per received datagram;
//   3. input latency, with the stand-in's timed journal (a second KivFSX run, so that the
//      journal's writing is not in the figures of phase 1): a variable change sent in the hub's
//      place, stamped just before its send, to the event's call into the library; the bare
//      loop's datagrams leave the same socket, alternating with KivFSX's.
// Usage: kivbench --build DIR [--seconds N] [--json FILE]
//        kivbench bare-... (see bare.cpp)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

#include "bench.h"
#include "tools/commgr/messages.h"

namespace {

constexpr uint32_t FRAME_HZ = 60;
constexpr uint32_t BURST_DATAGRAMS = 50000;
constexpr uint32_t BURST_BATCH = 25; // datagrams between pauses of 1 ms
constexpr uint32_t LATENCY_SAMPLES = 200;
constexpr uint32_t LATENCY_SPACING_MS = 50;
constexpr uint32_t WARM_UP_MS = 3000;
constexpr uint32_t SET_EVERY_MS = 2000; // variable changes during the steady state
constexpr const char* KIVFSX_ADDRESS = "10.77.0.2";
constexpr const char* HUB_ADDRESS = "10.77.0.3";
// The program's threads in the order main starts them (thread ids rise in that order).
const char* const THREAD_ROLES[] = {"main: simulator session, stand-in dispatch", "receive",
                                    "block sender", "link monitor", "traffic poll"};

struct Proc {
    pid_t Pid = -1;
    int Stdin = -1;
};

std::string Work, Build;

Proc Spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
           const std::string& output) {
    int in[2];
    if (pipe(in) != 0) {
        return {};
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        close(in[0]);
        close(in[1]);
        int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, 1);
        dup2(out, 2);
        close(out);
        if (chdir(Work.c_str()) != 0) {
            _exit(126);
        }
        for (const auto& [k, v] : env) {
            setenv(k.c_str(), v.c_str(), 1);
        }
        std::vector<char*> argv;
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    return {pid, in[1]};
}

void Stop(Proc& p) {
    if (p.Pid > 0) {
        kill(p.Pid, SIGKILL);
        waitpid(p.Pid, nullptr, 0);
    }
    if (p.Stdin >= 0) {
        close(p.Stdin);
    }
    p = {};
}

void Say(const Proc& p, const char* line) {
    ssize_t n = write(p.Stdin, line, std::strlen(line));
    (void)n;
}

std::string SelfPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    path[n > 0 ? n : 0] = '\0';
    return path;
}

// Waits (at most 20 s) until the hub has received blocks sent after `sinceUs`.
bool WaitLinked(int64_t sinceUs) {
    for (int i = 0; i < 80; ++i) {
        if (TimesTo(ReadPcap(Work + "/hub.pcap"), HUB_DATA_PORT, sinceUs, INT64_MAX).size() >= 3) {
            return true;
        }
        PauseMs(250);
    }
    return false;
}

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
        PauseMs(10);
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
            PauseMs(1);
        }
    }
    PauseMs(200); // the last ones are taken in
    double seconds = static_cast<double>(WallUs() - start) / 1e6;
    double spent = ProcessCpuSeconds(pid) - cpu - idleShare * seconds;
    close(s);
    *received = BURST_DATAGRAMS - static_cast<double>(UdpReceiveDrops() - drops);
    return spent;
}

std::string Machine() {
    std::ifstream in("/proc/cpuinfo");
    std::string line, model = "?";
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    return "machine: " + std::to_string(std::thread::hardware_concurrency()) +
           " processors (nproc), " + model;
}

int Run(uint32_t seconds, const std::string& json) {
    std::vector<Figure> figures;
    std::vector<std::string> notes{Machine()};
    std::string store = Work + "/winsxs/x86_microsoft.flightsimulator.simconnect_"
                               "67c7c14424d61b5b_10.0.61259.0_x-ww_bench";
    std::string library = store + "/SimConnect.dll";
    std::string self = SelfPath();
    std::map<std::string, std::string> kivEnv{{"KIVFSX_WINSXS", Work + "/winsxs"},
                                              {"KIVSIM_FRAME_HZ", std::to_string(FRAME_HZ)},
                                              {"KIVSIM_EVERY_FRAME", "1"}};

    Proc hub = Spawn({Build + "/tools/commgr/commgr", "--address", HUB_ADDRESS, "--summary-ms", "0",
                      "--quiet", "--record-pcap", Work + "/hub.pcap"},
                     {}, Work + "/hub-out.txt");
    Proc bareHub = Spawn({Build + "/tools/commgr/commgr", "--address", HUB_ADDRESS, "--listen-port",
                          std::to_string(BARE_HUB_LISTEN_PORT), "--data-port",
                          std::to_string(BARE_HUB_DATA_PORT), "--summary-ms", "0", "--quiet",
                          "--record-pcap", Work + "/bare.pcap"},
                         {}, Work + "/bare-hub-out.txt");
    auto env = kivEnv;
    env["LD_PRELOAD"] = Build + "/tools/bench/libkivbench_alloc.so";
    env["KIVBENCH_ALLOC_FILE"] = Work + "/allocs.txt";
    int64_t started = WallUs();
    Proc kiv = Spawn({Build + "/kivfsx"}, env, Work + "/kivfsx-out.txt");
    Proc bareSleep = Spawn({self, "bare-sleep", HUB_ADDRESS, std::to_string(BARE_HUB_DATA_PORT)},
                           {}, Work + "/bare-out.txt");
    if (!WaitLinked(started)) {
        std::fprintf(stderr, "kivbench: KivFSX did not link with the hub (see %s)\n", Work.c_str());
        Stop(kiv), Stop(bareSleep), Stop(hub), Stop(bareHub);
        return 1;
    }

    // 1. Steady state.
    PauseMs(WARM_UP_MS);
    int64_t t0 = WallUs();
    double kivCpu0 = ProcessCpuSeconds(kiv.Pid), bareCpu0 = ProcessCpuSeconds(bareSleep.Pid);
    std::vector<ThreadCpu> threads0 = ThreadCpus(kiv.Pid);
    double allocs0 = Allocations(kiv.Pid);
    for (uint32_t waited = 0, step = 0; waited < seconds * 1000; waited += step) {
        Say(hub, "set 100=2\n");
        step = std::min(SET_EVERY_MS, seconds * 1000 - waited);
        PauseMs(step);
    }
    double allocs1 = Allocations(kiv.Pid);
    double kivCpu1 = ProcessCpuSeconds(kiv.Pid), bareCpu1 = ProcessCpuSeconds(bareSleep.Pid);
    std::vector<ThreadCpu> threads1 = ThreadCpus(kiv.Pid);
    int64_t t1 = WallUs();
    double window = static_cast<double>(t1 - t0) / 1e6;

    std::vector<Datagram> hubSeen = ReadPcap(Work + "/hub.pcap");
    std::vector<int64_t> blocks = TimesTo(hubSeen, HUB_DATA_PORT, t0, t1);
    std::vector<int64_t> bareBlocks =
        TimesTo(ReadPcap(Work + "/bare.pcap"), BARE_HUB_DATA_PORT, t0, t1);
    Spread gaps = SpreadOf(GapsMs(blocks)), bareGaps = SpreadOf(GapsMs(bareBlocks));
    const char* GAP_GOAL = "<= bare + 0.1 ms";
    figures.push_back({"block interval p50", "ms", gaps.P50, bareGaps.P50, GAP_GOAL,
                       gaps.P50 <= bareGaps.P50 + 0.1});
    figures.push_back({"block interval p99", "ms", gaps.P99, bareGaps.P99, GAP_GOAL,
                       gaps.P99 <= bareGaps.P99 + 0.1});
    figures.push_back({"block interval max", "ms", gaps.Max, bareGaps.Max, "", -1});
    double share = 100.0 * (kivCpu1 - kivCpu0) / window;
    double bareShare = 100.0 * (bareCpu1 - bareCpu0) / window;
    figures.push_back(
        {"CPU while linked", "% of a core", share, bareShare, "< 0.3 %", share < 0.3});
    for (const ThreadCpu& t : threads1) {
        double before = 0;
        size_t index = 0;
        for (size_t i = 0; i < threads0.size(); ++i) {
            if (threads0[i].Tid == t.Tid) {
                before = threads0[i].Seconds;
                index = i + 1;
            }
        }
        std::string role =
            index >= 1 && index <= std::size(THREAD_ROLES) ? THREAD_ROLES[index - 1] : "other";
        char line[160];
        std::snprintf(line, sizeof line,
                      "thread %d (%s): %.4f %% of a core, %.0f %% of the process",
                      static_cast<int>(t.Tid), role.c_str(), 100.0 * (t.Seconds - before) / window,
                      share > 0 ? 100.0 * 100.0 * (t.Seconds - before) / window / share : 0.0);
        notes.push_back(line);
    }
    double datagrams = static_cast<double>(TimesTo(hubSeen, KIVFSX_PORT, t0, t1).size());
    double newAllocs = allocs1 - allocs0;
    bool noAllocs = newAllocs == 0;
    figures.push_back({"heap allocations in the window", "count", newAllocs, -1, "0", noAllocs});
    figures.push_back(
        {"allocations per datagram received", "count", newAllocs / datagrams, -1, "0", noAllocs});
    figures.push_back({"allocations per visual frame", "count", newAllocs / (window * FRAME_HZ), -1,
                       "0", noAllocs});
    figures.push_back({"allocations per block sent", "count",
                       newAllocs / static_cast<double>(blocks.size()), -1, "0", noAllocs});
    char counts[200];
    std::snprintf(counts, sizeof counts,
                  "steady window %.1f s: %zu blocks, %zu bare datagrams, %.0f datagrams to KivFSX, "
                  "%.0f visual frames of 3 records",
                  window, blocks.size(), bareBlocks.size(), datagrams, window * FRAME_HZ);
    notes.push_back(counts);

    // 2. Bursts: the bare receive loop, then KivFSX (less its steady-state share).
    Proc bareRecv =
        Spawn({self, "bare-recv", std::to_string(BARE_RECV_PORT)}, {}, Work + "/bare-out.txt");
    PauseMs(300);
    // Two rounds each, alternating, after a warm-up of the bare loop.
    double bareGot = 0, kivGot = 0, bareSpent = 0, kivSpent = 0, got = 0, receiveSpent = 0;
    Burst(bareRecv.Pid, KIVFSX_ADDRESS, BARE_RECV_PORT, 0.0, &got);
    for (int round = 0; round < 2; ++round) {
        bareSpent += Burst(bareRecv.Pid, KIVFSX_ADDRESS, BARE_RECV_PORT, 0.0, &got);
        bareGot += got;
        std::vector<ThreadCpu> before = ThreadCpus(kiv.Pid);
        kivSpent += Burst(kiv.Pid, KIVFSX_ADDRESS, KIVFSX_PORT, share / 100.0, &got);
        std::vector<ThreadCpu> after = ThreadCpus(kiv.Pid);
        kivGot += got;
        if (before.size() >= 2 && after.size() >= 2) {
            receiveSpent += after[1].Seconds - before[1].Seconds; // the second thread started
        }
    }
    double perBare = 1e6 * bareSpent / bareGot, perKiv = 1e6 * kivSpent / kivGot;
    figures.push_back({"CPU per received datagram, burst", "us", perKiv, perBare,
                       "bare/KivFSX >= 0.9", perBare / perKiv >= 0.9});
    std::snprintf(counts, sizeof counts,
                  "two bursts of %u keep-alives each: bare took in %.0f, KivFSX %.0f",
                  BURST_DATAGRAMS, bareGot, kivGot);
    notes.push_back(counts);
    std::snprintf(counts, sizeof counts,
                  "burst: KivFSX's receive thread alone %.3f us per datagram",
                  1e6 * receiveSpent / kivGot);
    notes.push_back(counts);
    Memory mem = ReadMemory(kiv.Pid), bareMem = ReadMemory(bareSleep.Pid);
    figures.push_back({"peak resident memory", "MiB", mem.PeakMiB, bareMem.PeakMiB, "< 3 MiB",
                       mem.PeakMiB < 3.0});
    std::snprintf(counts, sizeof counts,
                  "KivFSX resident now: %.2f MiB mapped files (program, libraries, the counter), "
                  "%.2f MiB anonymous",
                  mem.MappedMiB, mem.AnonMiB);
    notes.push_back(counts);
    Stop(bareRecv), Stop(bareSleep), Stop(kiv);

    // 3. Input latency: hub send -> library call, beside datagram -> bare receive -> call.
    env = kivEnv;
    env["KIVSIM_JOURNAL"] = Work + "/journal.txt";
    env["KIVSIM_JOURNAL_TIMES"] = "1";
    started = WallUs();
    kiv = Spawn({Build + "/kivfsx"}, env, Work + "/kivfsx-out.txt");
    Proc bareCall =
        Spawn({self, "bare-call", std::to_string(BARE_CALL_PORT), library},
              {{"KIVSIM_JOURNAL", Work + "/bare-journal.txt"}, {"KIVSIM_JOURNAL_TIMES", "1"}},
              Work + "/bare-out.txt");
    bool linked = WaitLinked(started);
    PauseMs(1000);
    // Both datagrams leave the same socket, each stamped just before its send.
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
        PauseMs(LATENCY_SPACING_MS / 2);
        bareSends.push_back(WallUs());
        sendto(s, message, length, 0, reinterpret_cast<sockaddr*>(&toBare), sizeof toBare);
        PauseMs(LATENCY_SPACING_MS / 2);
    }
    close(s);
    PauseMs(300);
    Stop(bareCall), Stop(kiv), Stop(hub), Stop(bareHub);
    const std::vector<std::string> CALLS{"CALL TransmitClientEvent"};
    Spread lat = SpreadOf(LatenciesUs(sends, JournalTimes(Work + "/journal.txt", CALLS)));
    Spread bareLat =
        SpreadOf(LatenciesUs(bareSends, JournalTimes(Work + "/bare-journal.txt", CALLS)));
    figures.push_back({"input latency p50", "us", lat.P50, bareLat.P50, "", -1});
    figures.push_back({"input latency p99", "us", lat.P99, bareLat.P99, "<= bare + 50 us",
                       lat.P99 <= bareLat.P99 + 50});
    std::snprintf(counts, sizeof counts, "latency samples: KivFSX %u of %zu, bare %u of %zu",
                  lat.Count, sends.size(), bareLat.Count, bareSends.size());
    notes.push_back(counts);
    notes.push_back("work files: " + Work);

    PrintTable(figures, notes);
    if (!json.empty() && !WriteJson(json, figures, notes)) {
        std::fprintf(stderr, "kivbench: cannot write %s\n", json.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int64_t WallUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

void PauseMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int main(int argc, char** argv) {
    if (argc >= 2 && std::strncmp(argv[1], "bare-", 5) == 0) {
        return RunBare(argc, argv);
    }
    uint32_t seconds = 20;
    std::string json;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        if (name == "--seconds") {
            seconds = static_cast<uint32_t>(std::atoi(argv[i + 1]));
        } else if (name == "--json") {
            json = argv[i + 1];
        } else if (name == "--build") {
            Build = argv[i + 1];
        }
    }
    if (Build.empty() || seconds == 0 || seconds > 3600) {
        std::fprintf(stderr, "usage: kivbench --build DIR [--seconds N (1..3600)] [--json FILE]\n");
        return 2;
    }
    char dir[] = "/tmp/kivbench.XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }
    Work = dir;
    std::string store = Work + "/winsxs/x86_microsoft.flightsimulator.simconnect_"
                               "67c7c14424d61b5b_10.0.61259.0_x-ww_bench";
    std::string copy = "mkdir -p '" + store + "' && cp '" + Build +
                       "/tools/simulator/SimConnect.dll' '" + store + "/'";
    if (std::system(copy.c_str()) != 0) {
        return 1;
    }
    return Run(seconds, json);
}
