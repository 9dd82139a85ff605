// Percentiles, and reading the hub emulator's packet recording and the stand-in's journal.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "bench.h"
#include "tools/common/pcap_file.h"

namespace {
// Network to host order of a 16-bit field (netinet's own headers clash with the pcap ones).
uint16_t Net16(uint16_t v) {
    const auto* b = reinterpret_cast<const uint8_t*>(&v);
    return static_cast<uint16_t>(b[0] << 8 | b[1]);
}
} // namespace

Spread SpreadOf(std::vector<double> values) {
    Spread s{0, 0, 0, static_cast<uint32_t>(values.size())};
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    // Nearest rank.
    auto at = [&](double q) {
        size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
        return values[rank == 0 ? 0 : rank - 1];
    };
    s.P50 = at(0.50);
    s.P99 = at(0.99);
    s.Max = values.back();
    return s;
}

std::vector<Datagram> ReadPcap(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Datagram> out;
    size_t at = sizeof(PcapFileHeader);
    // The hub writes microsecond packets of its own byte order, IPv4 + UDP, nothing in front.
    while (at + sizeof(PcapUdpPacket) <= bytes.size()) {
        PcapUdpPacket p;
        std::memcpy(&p, bytes.data() + at, sizeof p);
        size_t next = at + sizeof(PcapRecordHeader) + p.Record.CapturedLength;
        if (next > bytes.size()) {
            break; // being written
        }
        out.push_back({int64_t{p.Record.Seconds} * 1000000 + p.Record.Fraction,
                       Net16(p.Udp.DestinationPort),
                       static_cast<uint32_t>(Net16(p.Udp.Length) - sizeof(UdpHeader))});
        at = next;
    }
    return out;
}

std::vector<int64_t> TimesTo(const std::vector<Datagram>& all, uint16_t port, int64_t fromUs,
                             int64_t toUs, uint32_t minLength) {
    std::vector<int64_t> times;
    for (const Datagram& d : all) {
        if (d.DestinationPort == port && d.Us >= fromUs && d.Us < toUs && d.Length >= minLength) {
            times.push_back(d.Us);
        }
    }
    return times;
}

std::vector<double> GapsMs(const std::vector<int64_t>& times) {
    std::vector<double> gaps;
    for (size_t i = 1; i < times.size(); ++i) {
        gaps.push_back(static_cast<double>(times[i] - times[i - 1]) / 1000.0);
    }
    return gaps;
}

std::vector<int64_t> JournalTimes(const std::string& path,
                                  const std::vector<std::string>& prefixes) {
    std::ifstream in(path);
    std::vector<int64_t> times;
    std::string line;
    while (std::getline(in, line)) {
        size_t us = line.rfind(" us=");
        bool wanted = false;
        for (const std::string& p : prefixes) {
            wanted |= line.rfind(p, 0) == 0;
        }
        if (wanted && us != std::string::npos) {
            times.push_back(std::strtoll(line.c_str() + us + 4, nullptr, 10));
        }
    }
    return times;
}

std::vector<double> LatenciesUs(const std::vector<int64_t>& sends,
                                const std::vector<int64_t>& arrivals) {
    std::vector<double> out;
    size_t a = 0;
    for (size_t i = 0; i < sends.size(); ++i) {
        while (a < arrivals.size() && arrivals[a] < sends[i]) {
            ++a;
        }
        bool beforeNext =
            i + 1 == sends.size() || (a < arrivals.size() && arrivals[a] < sends[i + 1]);
        if (a < arrivals.size() && beforeNext) {
            out.push_back(static_cast<double>(arrivals[a] - sends[i]));
        }
    }
    return out;
}
