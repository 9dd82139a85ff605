// End-to-end test harness: runs the real programs (kivfsx, the hub emulator, the simulator
// stand-in inside kivfsx) as processes inside the private network namespace that
// tools/private-net made for this test binary, and reads what they print and write.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "proc.h"

// Where the programs under test are (from the environment CTest sets).
std::string KivfsxPath();
std::string CommgrPath();
std::string StandInPath(); // the stand-in SimConnect.dll for Linux
std::string Win64Dir();    // build folder of the Windows x86_64 preset, "" when absent
// Build folder of the Windows preset `preset` ("win64" or "win32"), "" when absent.
std::string WindowsDir(const std::string& preset);
// The wrapper that runs a Windows program under Wine (cmake/wine-run.sh).
std::string WineRun();

// The program showed the adapter it broadcasts on by name (its console output is `kivOut`).
void ExpectAdapterShown(const std::filesystem::path& kivOut);

// A second network in the test's namespace, listed after the first one: veth v2 10.78.0.2/24
// <-> v3 10.78.0.3/24. The first one's adapters are then no longer the last ones.
void AddSecondNetwork();
void RemoveSecondNetwork();

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
    // The traffic road, with the hub started with --record-payload: the stand-in lists the
    // user's aircraft (by its own object id, `userId`) above the AI aircraft in every answer,
    // high enough to pass the altitude filter; the lists the hub receives hold AI aircraft and
    // never the user's.
    void ExpectTrafficWithoutTheUser(uint32_t userId = 1);
    // The same road where the user's aircraft has an id the program does not leave out: the
    // lists hold AI aircraft and the user's aircraft under `userId`.
    void ExpectTrafficWithTheUser(uint32_t userId);

    // The sender filter's road, with KivFSX linked to a hub that sends from 10.77.0.3 and
    // announced discovery at `kivAddress`: a stranger in the namespace (127.0.0.1) sends a
    // variable change, an address message naming a listener of its own, a keep-alive and a
    // shutdown order. With `filtered` (setting senders = hub) none of them reaches the
    // simulator, the link or the exit, while the hub's change and then its shutdown order do;
    // without it, the stranger's change reaches the simulator, its address takes the blocks,
    // and its shutdown order ends the program.
    void ExpectSenderFilterRoad(bool filtered, Proc& hub, Proc& kiv);

    std::filesystem::path Dir;   // working directory of kivfsx
    std::filesystem::path Store; // simulator library store
    std::filesystem::path Journal, ControlFile, HubRecord, KivOut, HubOut;
};
