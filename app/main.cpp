// KivFSX: bridges the flight simulator to the home-cockpit UDP network.
// main runs the start-up in its fixed order on the main thread, then starts the worker
// threads and becomes the simulator session loop. It never returns: the process ends
// through one of the exits of app/process.h.
#include <cstdint>

#include "app/config.h"
#include "app/process.h"
#include "net/blocks.h"
#include "platform/platform.h"
#include "support/log.h"
#include "support/resource.h"

// Taken by TransferTraffic while it copies the traffic list into Block2. Created by main
// before any thread starts; never destroyed.
Resource Block2Mutex = nullptr;

namespace {

void PrintBanner() {
    ConsolePrint(" KivSim (%d)\n", RestartCount);
    ConsolePrint("\n KivFSX Started\n\n");
    ConsolePrint(" Block1: %d\n", static_cast<int>(BLOCK1_SIZE));
    ConsolePrint(" Block2: %d\n", static_cast<int>(BLOCK2_SIZE));
    ConsolePrint(" Block3: %d\n", static_cast<int>(BLOCK3_SIZE));
    ConsolePrint(" Block4: %d\n", static_cast<int>(BLOCK4_SIZE));
    ConsolePrint("\n");
}

void ClearTrafficArea() {
    TrafficSlot empty[20] = {};
    BlockPublish(Block2, BLOCK2_TRAFFIC, empty, sizeof(empty));
}

} // namespace

int main(int argc, char** argv) {
    PlatformConsoleInit();
    PlatformArgsInit(argc, argv);
    ParseCommandLine();
    PrintBanner();
    SimLogInit("KivFSX.log");
    Block2Mutex = RegisterResource("Block2Mutex");
    ClearTrafficArea();
    ReadCfgFile();

    // The simulator library, the variable tables, the network link and the session loop
    // are not part of this build yet: start-up stops here, honestly.
    SimLog("Start-up complete up to the configuration; nothing further is built yet\n");
    ConsolePrint("Start-up stops after the configuration: the simulator and network links are "
                 "not built yet.\n");
    ExitProcess(EXIT_FATAL);
}
