// What the kernel tells about a running process: CPU time (nanosecond clocks, not the coarse
// ticks of /proc/PID/stat), memory and the namespace's dropped datagrams.
#include <dirent.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bench.h"

double ProcessCpuSeconds(pid_t pid) {
    clockid_t clock;
    timespec t{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &t) != 0) {
        return 0.0;
    }
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::vector<ThreadCpu> ThreadCpus(pid_t pid) {
    std::vector<ThreadCpu> threads;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = opendir(dir.c_str());
    for (dirent* e = d ? readdir(d) : nullptr; e != nullptr; e = readdir(d)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') {
            continue;
        }
        std::ifstream in(dir + "/" + e->d_name + "/schedstat");
        unsigned long long ns = 0;
        if (in >> ns) { // first field: time on the processor, in nanoseconds
            threads.push_back(
                {static_cast<pid_t>(std::atoi(e->d_name)), static_cast<double>(ns) / 1e9});
        }
    }
    if (d != nullptr) {
        closedir(d);
    }
    std::sort(threads.begin(), threads.end(),
              [](const ThreadCpu& a, const ThreadCpu& b) { return a.Tid < b.Tid; });
    return threads;
}

namespace {
// The kB value of `key` in a "Key:   123 kB" file, in MiB.
double KbField(const std::string& path, const std::string& key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::atof(line.c_str() + key.size() + 1) / 1024.0;
        }
    }
    return 0.0;
}
} // namespace

Memory ReadMemory(pid_t pid) {
    std::string base = "/proc/" + std::to_string(pid);
    Memory m{};
    m.PeakMiB = KbField(base + "/status", "VmHWM");
    double rss = KbField(base + "/smaps_rollup", "Rss");
    m.AnonMiB = KbField(base + "/smaps_rollup", "Anonymous");
    m.MappedMiB = rss - m.AnonMiB;
    return m;
}

uint64_t UdpReceiveDrops() {
    // Two "Udp:" lines: the names, then the values.
    std::ifstream in("/proc/net/snmp");
    std::string line, names;
    while (std::getline(in, line)) {
        if (line.rfind("Udp:", 0) != 0) {
            continue;
        }
        if (names.empty()) {
            names = line;
            continue;
        }
        std::istringstream n(names), v(line);
        std::string name, value;
        while (n >> name && v >> value) {
            if (name == "RcvbufErrors") {
                return std::strtoull(value.c_str(), nullptr, 10);
            }
        }
    }
    return 0;
}
