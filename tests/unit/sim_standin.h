// The simulator tests run against the stand-in library of tools/simulator, loaded once per
// process through the program's own loader. Its state is the process's: every test starts
// from a reset stand-in and a fresh program side, reads the calls that the library journalled
// and drives it through its control channel.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "net/blocks.h"
#include "sim/guarded.h"
#include "sim/session.h"
#include "support/process.h"
#include "support/restart.h"
#include "test_support.h"
#include "text.h" // Field and CountOf for the journal and the console

// Store entry name of a library build.
std::string StoreEntry(const std::string& version = "10.0.61259.0");
// Points the loader's directory searches and library loads at the store `dir` instead of the
// platform's; a library file found there loads the stand-in. Counts the searches left open.
void RedirectStore(const std::filesystem::path& dir);
extern int OpenSearches;

// The journal lines written since the test began that start with `prefix`.
std::vector<std::string> Journal(const std::string& prefix = "");
// Appends commands to the control file; the stand-in runs them at its next Open or dispatch.
void Control(const std::vector<std::string>& commands);

std::string Console(const std::function<void()>& body); // what `body` printed

// A message as the library hands it over: the header (dwSize is the length), `words`, `tail`.
std::vector<uint8_t> Message(SC_DWORD id, const std::vector<uint32_t>& words,
                             const std::vector<uint8_t>& tail = {});
// Hands the first `size` bytes of `message` to the dispatch handler in a buffer of exactly
// that size (so that a sanitizer sees any read beyond it); the console output.
std::string Deliver(const std::vector<uint8_t>& message, size_t size = SIZE_MAX);

// Pauses asked for through Os.SleepMs, which returns at once; the pause that reaches
// SleepLimit throws StopLoop, and so does the open that reaches OpenLimit, so that the
// never-ending loops can be run.
struct StopLoop {};
extern std::vector<uint32_t> Sleeps;
extern size_t SleepLimit, OpenLimit;

class SimTest : public TempDirTest {
  protected:
    void SetUp() override;
    std::string Turn() { return Console(SimConnectLoopTurn); } // one turn of the session loop
    // The log, with the part that a relaunch saved as "KivSaved.log" in front.
    std::string Log() const { return LogText(Dir / "KivSaved.log") + LogText(Dir / "KivFSX.log"); }
};
