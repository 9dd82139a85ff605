// A small program that relaunches itself through Restart until the chain limit stops it:
// the unit tests run it to check the real process creation of each platform.
#include "app/process.h"
#include "app/restart.h"
#include "platform/platform.h"
#include "support/log.h"

int main(int argc, char** argv) {
    PlatformConsoleInit();
    PlatformArgsInit(argc, argv);
    ParseCommandLine();
    ConsolePrint(" KivSim (%d)\n", RestartCount);
    SimLogInit("KivFSX.log");
    SimLogf("Probe count %d\n", RestartCount);
    Restart();
    ExitProcess(RestartPending.load() ? EXIT_RELAUNCHED : EXIT_FATAL);
}
