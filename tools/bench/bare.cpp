// The bare reference loops: what the operating system alone costs for the program's jobs.
//   bare-sleep ADDRESS PORT   sleeps 70 ms, sends a Block1-sized datagram, again
//   bare-recv PORT            receives datagrams and does nothing with them
//   bare-call PORT LIBRARY    receives datagrams and hands each to the simulator library as
//                             one client event, as the program does with a variable change
// Each ends when the orchestrator kills it, or by itself after an hour.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench.h"
#include "proc.h"
#include "sim/simconnect_api.h"

namespace {

constexpr int64_t BARE_LIFETIME_US = 3600LL * 1000000;

int BoundSocket(uint16_t port) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        perror("kivbench: bind");
        std::exit(1);
    }
    return s;
}

int SleepSend(const char* address, uint16_t port) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, address, &to.sin_addr);
    static uint8_t block[BARE_SEND_SIZE];
    for (int64_t end = WallUs() + BARE_LIFETIME_US; WallUs() < end;) {
        SleepMs(BARE_SEND_INTERVAL_MS);
        sendto(s, block, sizeof block, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    return 0;
}

// Receives until the lifetime ends; with `transmit`, each datagram's first word becomes the
// data of one client event.
int Receive(uint16_t port, SimTransmitClientEventFn transmit, SC_HANDLE handle) {
    int s = BoundSocket(port);
    timeval tick{1, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    static uint8_t buffer[2048];
    for (int64_t end = WallUs() + BARE_LIFETIME_US; WallUs() < end;) {
        ssize_t got = recv(s, buffer, sizeof buffer, 0);
        if (got >= 4 && transmit != nullptr) {
            uint32_t data = 0;
            std::memcpy(&data, buffer, 4);
            transmit(handle, SIMCONNECT_OBJECT_ID_USER, 1, data, SIMCONNECT_GROUP_PRIORITY_HIGHEST,
                     SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
        }
    }
    return 0;
}

int ReceiveAndCall(uint16_t port, const char* library) {
    void* lib = dlopen(library, RTLD_NOW);
    auto open = lib ? reinterpret_cast<SimOpenFn>(dlsym(lib, "SimConnect_Open")) : nullptr;
    auto map = lib ? reinterpret_cast<SimMapClientEventToSimEventFn>(
                         dlsym(lib, "SimConnect_MapClientEventToSimEvent"))
                   : nullptr;
    auto transmit = lib ? reinterpret_cast<SimTransmitClientEventFn>(
                              dlsym(lib, "SimConnect_TransmitClientEvent"))
                        : nullptr;
    SC_HANDLE handle = nullptr;
    if (open == nullptr || map == nullptr || transmit == nullptr ||
        open(&handle, "kivbench", nullptr, 0, nullptr, 0) != 0 ||
        map(handle, 1, "HEADING_BUG_SET") != 0) {
        std::fprintf(stderr, "kivbench: the simulator library %s did not load or open\n", library);
        return 1;
    }
    return Receive(port, transmit, handle);
}

} // namespace

int RunBare(int argc, char** argv) {
    const char* mode = argv[1];
    if (std::strcmp(mode, "bare-sleep") == 0 && argc == 4) {
        return SleepSend(argv[2], static_cast<uint16_t>(std::atoi(argv[3])));
    }
    if (std::strcmp(mode, "bare-recv") == 0 && argc == 3) {
        return Receive(static_cast<uint16_t>(std::atoi(argv[2])), nullptr, nullptr);
    }
    if (std::strcmp(mode, "bare-call") == 0 && argc == 4) {
        return ReceiveAndCall(static_cast<uint16_t>(std::atoi(argv[2])), argv[3]);
    }
    std::fprintf(stderr, "kivbench: bad bare-loop arguments\n");
    return 2;
}
