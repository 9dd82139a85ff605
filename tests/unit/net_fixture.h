// Shared set-up of the network link tests: a started log, the link down, fresh tables and
// blocks, relaunches recorded instead of started, console output captured on request.
#pragma once

#include "test_support.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "app/config.h"
#include "net/blocks.h"
#include "net/link.h"
#include "net/monitor.h"
#include "net/msg.h"
#include "net/sender.h"
#include "net/udp.h"
#include "support/adapters.h"
#include "support/log.h"
#include "support/process.h"
#include "support/restart.h"
#include "vars/vartables.h"

inline std::atomic<int> NetSpawns{0};

inline bool NetRecordSpawn(const char*, const char* const*, const char*) {
    return ++NetSpawns;
}

struct NetTest : TempDirTest {
    void SetUp() override {
        TempDirTest::SetUp();
        ResetNetState();
        InitDB();
        NetSpawns = 0;
        Os.SpawnInstance = NetRecordSpawn;
        snprintf(ProgramPath, sizeof(ProgramPath), "kivfsx");
        ProgramPathComplete = true;
        ASSERT_TRUE(SimLogInit("KivFSX.log"));
    }
    void TearDown() override {
        if (capturing) {
            Console();
        }
        ResetNetState();
        ProgramPathComplete = false;
        ProgramPath[0] = '\0';
        TempDirTest::TearDown();
    }
    static void ResetNetState() {
        LinkResetForTest();
        BlocksResetForTest();
        AdapterWalkReset();
        NetworkSetting = NetworkSettings{};
        VersionReported = false;
        MissCount = 0;
        BlockSequence = 0;
        ListenPort = DEFAULT_LISTEN_PORT;
        snprintf(HostIP, sizeof(HostIP), "0.0.0.0");
        snprintf(HostName, sizeof(HostName), "NotInitialized");
        MonitorSocket = PLATFORM_NO_SOCKET;
        BroadcastSocket = PLATFORM_NO_SOCKET;
        BroadcastAddr = NetAddr{0, 0};
        HaveBroadcastAddr = false;
    }
    void CaptureConsole() {
        testing::internal::CaptureStdout();
        capturing = true;
    }
    std::string Console() {
        capturing = false;
        return testing::internal::GetCapturedStdout();
    }
    // The whole log so far, including the part a relaunch saved aside.
    std::string Log() {
        std::string saved = std::filesystem::exists("KivSaved.log") ? LogText("KivSaved.log") : "";
        return saved + LogText("KivFSX.log");
    }

  private:
    bool capturing = false;
};

inline uint32_t Dotted(const char* text) {
    return PlatformInetAddr(text);
}

// A datagram: header fields, then payload bytes.
inline std::vector<uint8_t> MakeMsg(int32_t msgClass, int32_t msgType, int32_t version = 503,
                                    int32_t count = 0) {
    MsgHeader h{msgClass, msgType, 0, count, 0, 0, version, COMMGR_NODE, NODE_ID};
    std::vector<uint8_t> d(sizeof(h));
    memcpy(d.data(), &h, sizeof(h));
    return d;
}

template <typename T> void Append(std::vector<uint8_t>& d, T value) {
    size_t at = d.size();
    d.resize(at + sizeof(value));
    memcpy(d.data() + at, &value, sizeof(value));
}

inline void AppendText(std::vector<uint8_t>& d, const std::string& text) {
    d.insert(d.end(), text.begin(), text.end());
}

template <typename T> T FieldAt(const std::vector<uint8_t>& d, size_t offset) {
    T value;
    memcpy(&value, d.data() + offset, sizeof(value));
    return value;
}
