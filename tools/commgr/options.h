// The command line of the hub emulator.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t COMMGR_DEFAULT_LISTEN_PORT = 9019; // where KivFSX broadcasts its discovery
constexpr uint16_t COMMGR_DEFAULT_DATA_PORT = 9020;   // where the hub receives the blocks
constexpr uint32_t COMMGR_DEFAULT_KEEPALIVE_MS = 1000;
constexpr uint32_t COMMGR_DEFAULT_SUMMARY_MS = 1000;

constexpr uint32_t COMMGR_MAX_FIELDS = 32;
constexpr uint32_t COMMGR_FIELD_NAME_SIZE = 64;
constexpr uint32_t COMMGR_MAX_SETS = 64;
constexpr uint32_t COMMGR_SET_TEXT_SIZE = 64;
constexpr uint32_t COMMGR_PATH_SIZE = 512;
constexpr uint32_t COMMGR_HOST_NAME_SIZE = 254; // a DNS name and its NUL
constexpr uint32_t COMMGR_FAULTS_SIZE = 128;

// Exit codes of the tool.
constexpr int32_t COMMGR_EXIT_OK = 0;
constexpr int32_t COMMGR_EXIT_USAGE = 2;   // bad command line
constexpr int32_t COMMGR_EXIT_NETWORK = 3; // a socket could not be made or bound
constexpr int32_t COMMGR_EXIT_RECORD = 4;  // a record file could not be created

struct CommgrOptions {
    uint16_t ListenPort;
    uint16_t DataPort;
    char Address[16];       // the hub's own address as announced; empty: first non-loopback IPv4
    char ListenAddress[16]; // where the discovery socket is bound; empty: every address
    uint32_t KeepAliveMs;
    char RecordPath[COMMGR_PATH_SIZE]; // empty: no record file
    bool RecordPayload;
    char RecordPcapPath[COMMGR_PATH_SIZE]; // empty: no packet recording
    uint32_t SummaryMs;                    // 0: no live summary
    char Fields[COMMGR_MAX_FIELDS][COMMGR_FIELD_NAME_SIZE];
    uint32_t FieldCount;
    bool CheckUniform;
    uint32_t DurationS;                               // 0: run until `quit` or a signal
    char Sets[COMMGR_MAX_SETS][COMMGR_SET_TEXT_SIZE]; // "IDX=VALUE" texts of --set
    uint32_t SetCount;
    bool Quiet;
    bool Help;
    char PanelAddress[16]; // --panel: the address the browser panel binds to (127.0.0.1)
    uint16_t PanelPort;    // 0: no panel
    char PanelName[COMMGR_HOST_NAME_SIZE]; // --panel-name: a host name the panel answers to too
    char SendAddress[16]; // --send-address: the hub's datagrams leave from it; empty: any
    char Faults[COMMGR_FAULTS_SIZE];     // --faults: the faults to inject (tools/commgr/faults.h)
    uint32_t FaultSeed;                  // --fault-seed
    char FaultLogPath[COMMGR_PATH_SIZE]; // --fault-log: one line per fault decision
};

// The fields the live summary shows when --fields is not given.
extern const char* const COMMGR_DEFAULT_FIELDS[];
extern const uint32_t COMMGR_DEFAULT_FIELD_COUNT;

// Fills `out` from `args` (the arguments after the program name). False on a bad command
// line, with the reason in `error`.
bool ParseOptions(int32_t count, const char* const* args, CommgrOptions* out, char* error,
                  size_t errorSize);

// The usage text.
const char* OptionsUsage();
