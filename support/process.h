// Process-wide start-up state and the ways the process ends.
#pragma once

#include <atomic>
#include <cstdint>

// Exit codes of the program.
constexpr int32_t EXIT_RELAUNCHED = 0;  // a new instance has been started
constexpr int32_t EXIT_FATAL = 100;     // an unrecoverable condition
constexpr int32_t EXIT_NO_MUTEX = 7765; // a mutex could not be created
// The simulator quit or has gone, and the setting end-with-simulator asks to end with it.
constexpr int32_t EXIT_SIMULATOR_ENDED = 50;

constexpr uint32_t PROGRAM_PATH_SIZE = 500;

// The program path as the first argument gave it. Written once by main before any thread
// starts; read by Restart.
extern char ProgramPath[PROGRAM_PATH_SIZE];
// False when the first argument did not fit ProgramPath (Restart then launches nothing).
extern bool ProgramPathComplete;
// 0 for a first start, else the count from a relaunch's third argument. Written once by
// main before any thread starts; read by Restart.
extern int32_t RestartCount;

// The decimal value of `text` as atoi reads it (leading blanks and a sign, up to the first
// non-digit, 0 without digits), held within the 32-bit range instead of overflowing.
int32_t DecimalValue(const char* text);

// Sets ProgramPath and RestartCount from the process's argument vector.
void ParseCommandLine();

// Prints "\nPress "Enter" to exit...", waits for one character of input, exits with 100.
[[noreturn]] void PressEnterExit();

// Ends the process with `code` (through the platform table, so tests can intercept it).
[[noreturn]] void ExitProcess(int32_t code);

// Console output, flushed at once. (The same line on the console and in the log is
// ConsoleAndLog, support/log.h: this file stands below the log and never writes to it.)
void ConsolePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A value that a line echoes (a setting's value, a path, a description) is cut to at most
// SHOWN_VALUE_MAX bytes, at the start of a UTF-8 character, and then ends in "...", so that
// the line around it fits and keeps its end.
// Room for any path Windows takes (259 UTF-16 units, up to 777 bytes of UTF-8).
constexpr size_t SHOWN_VALUE_MAX = 780;
constexpr size_t SHOWN_VALUE_SIZE = SHOWN_VALUE_MAX + 4; // with "..." and the terminator
// `value` (`length` bytes) as a line shows it, into `out` of SHOWN_VALUE_SIZE bytes.
void ShownValue(const char* value, size_t length, char* out);
