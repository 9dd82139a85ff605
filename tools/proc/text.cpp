#include "text.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> ReadLines(const fs::path& path, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(path));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

size_t CountOf(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos;
         pos = haystack.find(needle, pos + needle.size())) {
        ++count;
    }
    return count;
}

bool WaitForText(const fs::path& path, const std::string& text, int timeoutMs, int count) {
    uint64_t end = NowMs() + static_cast<uint64_t>(timeoutMs);
    do {
        if (CountOf(ReadText(path), text) >= static_cast<size_t>(count)) {
            return true;
        }
        SleepMs(50);
    } while (NowMs() < end);
    return false;
}

std::string Field(const std::string& line, const std::string& key) {
    std::string pattern = " " + key + "=";
    size_t pos = line.find(pattern);
    if (pos == std::string::npos) {
        return "";
    }
    pos += pattern.size();
    if (pos < line.size() && line[pos] == '"') {
        size_t end = line.find('"', pos + 1);
        return line.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
    }
    return line.substr(pos, line.find(' ', pos) - pos);
}

uint64_t NowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string StoreEntryName(const std::string& version, const std::string& tail) {
    return "x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_" + version + "_" + tail;
}
