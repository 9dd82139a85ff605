// KivFSX: bridges the flight simulator to the home-cockpit UDP network.
// main runs the start-up in its fixed order on the main thread, then starts the worker
// threads and becomes the simulator session loop. It never returns: the process ends
// through one of the exits of support/process.h.
#include <cstdint>

#include "app/config.h"
#include "app/settings.h"
#include "net/blocks.h"
#include "net/monitor.h"
#include "net/receive.h"
#include "net/sender.h"
#include "net/udp.h"
#include "platform/platform.h"
#include "sim/changevar.h"
#include "sim/guarded.h"
#include "sim/loader.h"
#include "sim/session.h"
#include "sim/traffic.h"
#include "support/log.h"
#include "support/process.h"
#include "support/resource.h"
#include "vars/vartables.h"

namespace {

// A relaunched instance pauses before it goes on, so that the instance that launched it has
// ended and freed the listening port by the time this one binds it.
constexpr uint32_t RESTART_PAUSE_MS = 3000;

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
    PlatformFloatInit(); // IEEE double on this thread, whatever the runtime's start-up set
    PlatformConsoleInit();
    PlatformArgsInit(argc, argv);
    ParseCommandLine();
    PrintBanner();
    SimLogInit("KivFSX.log");
    if (RestartCount > 0) {
        SimLog("This is a restart.\n");
        Os.SleepMs(RESTART_PAUSE_MS);
    }
    Block2Mutex = RegisterResource("Block2Mutex");
    ClearTrafficArea();
    ReadCfgFile();
    ReadSettingsFile();
    if (LoadSimConnect() != 0) {
        PressEnterExit();
    }
    InitDB();
    if (!InitUDP(ListenPort)) {
        SimLog("InitSimUDP() - failed\n");
        ExitProcess(EXIT_FATAL);
    }
    SetVarChangeHandler(VarChangeHandler{ChangeVar, ChangeVar});
    Os.StartThread(ReceiveThread, nullptr);
    Os.StartThread(BlockSender, nullptr);
    Os.StartThread(Monitor, &ListenPort);
    Os.StartThread(TrafficPoll, nullptr);
    BlockSetI32(Block1, BLOCK1_AIRCRAFT_TYPE, 0);
    BlockSetI32(Block1, BLOCK1_PANEL_ON, 1);
    SimConnectLoop();
}
