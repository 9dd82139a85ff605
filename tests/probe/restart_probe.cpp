// A small program that relaunches itself through Restart until the chain limit stops it:
// the unit tests run it to check the real process creation of each platform.
#include <cstdio>

#include "platform/platform.h"
#include "support/log.h"
#include "support/process.h"
#include "support/restart.h"

int main(int argc, char** argv) {
    PlatformConsoleInit();
    PlatformArgsInit(argc, argv);
    ParseCommandLine();
    ConsolePrint(" KivSim (%d)\n", RestartCount);
    SimLogInit("KivFSX.log");
    SimLogf("Probe count %d\n", RestartCount);
    // A marker the test can look for without opening the log: on Windows a reader that holds
    // the log open would make the rename of the next relaunch fail.
    char marker[32];
    snprintf(marker, sizeof(marker), "probe-%d.txt", static_cast<int>(RestartCount));
    if (FILE* f = fopen(marker, "w")) {
        fclose(f);
    }
    Restart();
    ExitProcess(RestartPending.load() ? EXIT_RELAUNCHED : EXIT_FATAL);
}
