// kivbench: measures KivFSX (the Linux build, with the simulator stand-in and the hub emulator)
// beside bare reference loops run at the same time on the same machine, and reports both.
// It runs inside the private network namespace that tools/bench.sh makes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Ports of the bare loops and of the hub emulator that receives the bare sender.
constexpr uint16_t BARE_HUB_LISTEN_PORT = 9119;
constexpr uint16_t BARE_HUB_DATA_PORT = 9120;
constexpr uint16_t BARE_CALL_PORT = 9140;
constexpr uint16_t BARE_RECV_PORT = 9150;
constexpr uint16_t KIVFSX_PORT = 9030;
constexpr uint16_t HUB_DATA_PORT = 9020;
constexpr uint32_t BARE_SEND_INTERVAL_MS = 70;
constexpr uint32_t BARE_SEND_SIZE = 360; // a Block1

// Wall-clock microseconds, the clock of the hub's packet recording and of the stand-in's
// timed journal.
int64_t WallUs();

// bare.cpp: the reference loops, each run as a process of its own ("kivbench bare-...").
int RunBare(int argc, char** argv);

// procfs.cpp: what /proc and the kernel tell about a running process.
double ProcessCpuSeconds(pid_t pid); // all its threads, living and ended
struct ThreadCpu {
    pid_t Tid;
    double Seconds;
};
std::vector<ThreadCpu> ThreadCpus(pid_t pid); // living threads, by thread id
struct Memory {
    double PeakMiB;   // VmHWM
    double AnonMiB;   // resident anonymous memory now
    double MappedMiB; // resident file-backed memory now (the program and its libraries)
};
Memory ReadMemory(pid_t pid);
uint64_t UdpReceiveDrops(); // datagrams this namespace dropped for full receive buffers

// stats.cpp: percentiles, the hub's packet recording and the stand-in's journal.
struct Spread {
    double P50, P99, Max;
    uint32_t Count;
};
Spread SpreadOf(std::vector<double> values);
struct Datagram {
    int64_t Us;
    uint16_t DestinationPort;
    uint32_t Length; // the message, without IP and UDP headers
};
std::vector<Datagram> ReadPcap(const std::string& path);
// Arrival times at `port` within [fromUs, toUs), and the gaps between them in milliseconds.
std::vector<int64_t> TimesTo(const std::vector<Datagram>& all, uint16_t port, int64_t fromUs,
                             int64_t toUs, uint32_t minLength = 0);
std::vector<double> GapsMs(const std::vector<int64_t>& times);
// " us=" times of the journal lines that start with one of `prefixes`.
std::vector<int64_t> JournalTimes(const std::string& path,
                                  const std::vector<std::string>& prefixes);
// For each send, the first arrival after it and before the next send, in microseconds.
std::vector<double> LatenciesUs(const std::vector<int64_t>& sends,
                                const std::vector<int64_t>& arrivals);

// report.cpp: one table, and the same figures as JSON.
struct Figure {
    std::string Name;
    std::string Unit;
    double Value;
    double Bare; // < 0: no bare reference
    std::string Goal;
    int Met; // 1 met, 0 missed, -1 no goal
};
void PrintTable(const std::vector<Figure>& figures, const std::vector<std::string>& notes);
bool WriteJson(const std::string& path, const std::vector<Figure>& figures,
               const std::vector<std::string>& notes);
