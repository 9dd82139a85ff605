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
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "run.h"

// Declared in run.h; written by main and the phases, on the main thread only.
std::string Work, Build;
Proc Hub, BareHub, Kiv, BareSleep;
std::vector<Figure> Figures;
std::vector<std::string> Notes;

std::string SelfPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    path[n > 0 ? n : 0] = '\0';
    return path;
}

bool WaitLinked(int64_t sinceUs) {
    for (int i = 0; i < 80; ++i) {
        if (TimesTo(ReadPcap(Work + "/hub.pcap"), HUB_DATA_PORT, sinceUs, INT64_MAX).size() >= 3) {
            return true;
        }
        SleepMs(250);
    }
    return false;
}

void Note(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Notes.push_back(line);
}

std::string StoreDir() {
    return Work + "/winsxs/" + StoreEntryName("10.0.61259.0", "x-ww_bench");
}

Proc StartKivfsx(std::map<std::string, std::string> env) {
    env["KIVFSX_WINSXS"] = Work + "/winsxs";
    env["KIVSIM_FRAME_HZ"] = std::to_string(FRAME_HZ);
    env["KIVSIM_EVERY_FRAME"] = "1";
    return Spawn({Build + "/kivfsx"}, Work, env, Work + "/kivfsx-out.txt");
}

namespace {

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
    Notes.push_back(Machine());
    std::string commgr = Build + "/tools/commgr/commgr";
    Hub = Spawn({commgr, "--address", HUB_ADDRESS, "--summary-ms", "0", "--quiet", "--record-pcap",
                 Work + "/hub.pcap"},
                Work, {}, Work + "/hub-out.txt");
    BareHub = Spawn({commgr, "--address", HUB_ADDRESS, "--listen-port",
                     std::to_string(BARE_HUB_LISTEN_PORT), "--data-port",
                     std::to_string(BARE_HUB_DATA_PORT), "--summary-ms", "0", "--quiet",
                     "--record-pcap", Work + "/bare.pcap"},
                    Work, {}, Work + "/bare-hub-out.txt");
    int64_t started = WallUs();
    Kiv = StartKivfsx({{"LD_PRELOAD", Build + "/tools/bench/libkivbench_alloc.so"},
                       {"KIVBENCH_ALLOC_FILE", Work + "/allocs.txt"}});
    BareSleep = Spawn({SelfPath(), "bare-sleep", HUB_ADDRESS, std::to_string(BARE_HUB_DATA_PORT)},
                      Work, {}, Work + "/bare-out.txt");
    bool linked = WaitLinked(started);
    if (linked) {
        Steady(seconds);
        Bursts();
    }
    Stop(BareSleep), Stop(Kiv);
    if (linked) {
        Latency();
    }
    Stop(Hub), Stop(BareHub);
    if (!linked) {
        std::fprintf(stderr, "kivbench: KivFSX did not link with the hub (see %s)\n", Work.c_str());
        return 1;
    }
    Notes.push_back("work files: " + Work);
    PrintTable(Figures, Notes);
    if (!json.empty() && !WriteJson(json, Figures, Notes)) {
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
    std::string copy = "mkdir -p '" + StoreDir() + "' && cp '" + Build +
                       "/tools/simulator/SimConnect.dll' '" + StoreDir() + "/'";
    if (std::system(copy.c_str()) != 0) {
        return 1;
    }
    return Run(seconds, json);
}
