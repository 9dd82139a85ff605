// Recovery by relaunch: start a fresh instance with the next restart count and let this one end.
#pragma once

#include <atomic>

// Set once a new instance has been launched; never cleared. Written by Restart on any
// thread; read by the simulator session loop, which then ends the process with 0.
extern std::atomic<bool> RestartPending;

// Highest restart count that may still relaunch; an instance with this count or more exits.
constexpr int RESTART_LIMIT = 3;

// Launches the next instance ("-rx", RestartCount + 1), saving the log as "KivSaved.log", and
// sets RestartPending. With RestartCount at the limit it logs and ends the process with 100.
// A process launches at most one instance: later calls, from any thread, return at once.
void Restart();

// Builds the Windows command line of the next instance into `out`; false when it does not
// fit in `size` bytes (the relaunch is then not attempted).
bool BuildRelaunchCommandLine(const char* programPath, int next, char* out, unsigned size);

// Test hook: forget that this process has relaunched.
void RestartResetForTest();
