// End-to-end test harness: runs the real programs (kivfsx, the hub emulator, the simulator
// stand-in inside kivfsx) as processes inside the private network namespace that
// tools/private-net made for this test binary, and reads what they print and write.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct Proc {
    pid_t Pid = -1;
    int StdinFd = -1;
    std::filesystem::path Output; // stdout and stderr
};

// Where the programs under test are (from the environment CTest sets).
std::string KivfsxPath();
std::string CommgrPath();
std::string StandInPath(); // the stand-in SimConnect.dll for Linux
std::string Win64Dir();    // build folder of the Windows x86_64 preset, "" when absent

// Starts `args` in `cwd` with `env` added to the environment; output goes to `output`.
Proc Spawn(const std::vector<std::string>& args, const std::filesystem::path& cwd,
           const std::map<std::string, std::string>& env, const std::filesystem::path& output);
void SendLine(const Proc& proc, const std::string& line);
void CloseStdin(Proc& proc);
// The exit code, or -1 when the process has not ended within `timeoutMs`.
int WaitExit(Proc& proc, int timeoutMs);
bool Running(const Proc& proc);

std::string ReadText(const std::filesystem::path& path);
std::vector<std::string> ReadLines(const std::filesystem::path& path);
// Waits until `path` holds `text` at least `count` times; false on time-out.
bool WaitForText(const std::filesystem::path& path, const std::string& text, int timeoutMs,
                 int count = 1);
size_t CountOf(const std::string& haystack, const std::string& needle);
// Value of key=value in a record line, "" when absent.
std::string Field(const std::string& line, const std::string& key);
uint64_t NowMs();
void SleepMs(int ms);

// A fresh working directory per test, a simulator store holding the stand-in, and clean-up
// of every process the test started (relaunched instances included).
class E2eTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Installs `library` as the store entry of `version` under `store`.
    static void InstallLibrary(const std::filesystem::path& store, const std::string& version,
                               const std::string& library);
    // Environment for kivfsx with the stand-in: store, journal and control files.
    std::map<std::string, std::string> SimEnv() const;
    Proc StartKivfsx(const std::map<std::string, std::string>& extraEnv = {},
                     const std::vector<std::string>& extraArgs = {});
    Proc StartHub(const std::vector<std::string>& extraArgs = {});
    void Control(const std::string& command) const; // one line to the stand-in
    // A bad request as the simulator's library reports it: the next cockpit input's event is
    // accepted, and an EXCEPTION naming its send id reaches the console and the log later.
    void ExpectLateExceptionRoad(const Proc& hub);

    std::filesystem::path Dir;   // working directory of kivfsx
    std::filesystem::path Store; // simulator library store
    std::filesystem::path Journal, ControlFile, HubRecord, KivOut, HubOut;
};
