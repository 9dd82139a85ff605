// The text files that KivFSX, the stand-in and the hub emulator write, read by the programs
// and tests that check them: lines, counts, key=value fields, waits with a time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A text file with the carriage returns of Windows programs taken out; "" when absent.
std::string ReadText(const std::filesystem::path& path);
// Its lines, or those that begin with `prefix`.
std::vector<std::string> ReadLines(const std::filesystem::path& path,
                                   const std::string& prefix = "");
size_t CountOf(const std::string& haystack, const std::string& needle);
// Waits until `path` holds `text` at least `count` times; false on time-out.
bool WaitForText(const std::filesystem::path& path, const std::string& text, int timeoutMs,
                 int count = 1);
// Value of key=value (or key="value") in a record line, "" when absent.
std::string Field(const std::string& line, const std::string& key);
uint64_t NowMs(); // monotonic
void SleepMs(int ms);

// Store entry of a simulator library build, named as the simulator's installer names it.
std::string StoreEntryName(const std::string& version, const std::string& tail = "x-ww_5ff3b5fd");
