// The recording file of the cockpit network: a classic libpcap file whose packets are IPv4
// datagrams without a link-layer header (link type RAW), each an IPv4 header, a UDP header and
// the cockpit message. The hub emulator writes it (commgr --record-pcap), Wireshark and tshark
// read it with tools/wireshark/kivnet.lua, and the simulator stand-in replays the blocks of it
// (KIVSIM_REPLAY). The stand-in also reads captures that Wireshark saved as pcap from Ethernet,
// the Linux "any" device or a raw IP link.
//
// Header-only: the stand-in is built from the standard library and the program's headers alone.
// Every multi-byte field of the file headers is in the writer's byte order (the magic number
// tells which); the IP and UDP headers are in network order, as on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr uint32_t PCAP_MAGIC_MICROSECONDS = 0xa1b2c3d4u;
constexpr uint32_t PCAP_MAGIC_NANOSECONDS = 0xa1b23c4du;
constexpr uint16_t PCAP_VERSION_MAJOR = 2;
constexpr uint16_t PCAP_VERSION_MINOR = 4;
constexpr uint32_t PCAP_SNAPLEN = 65535;

// Link types (the values of the file format, not of any capture library's DLT_ names).
constexpr uint32_t PCAP_LINK_ETHERNET = 1;
constexpr uint32_t PCAP_LINK_RAW = 101; // an IPv4 or IPv6 packet, nothing in front
constexpr uint32_t PCAP_LINK_LINUX_SLL = 113;
constexpr uint32_t PCAP_LINK_IPV4 = 228;
constexpr uint32_t PCAP_LINK_LINUX_SLL2 = 276;

constexpr uint16_t ETHERTYPE_IPV4 = 0x0800;
constexpr uint8_t IP_PROTOCOL_UDP = 17;
constexpr uint8_t IP_TTL = 64;
constexpr uint16_t IP_DONT_FRAGMENT = 0x4000;
constexpr uint16_t IP_FRAGMENT_BITS = 0x3fff; // "more fragments" and the offset

#pragma pack(push, 1)
struct PcapFileHeader {
    uint32_t Magic;
    uint16_t VersionMajor;
    uint16_t VersionMinor;
    int32_t ThisZone;
    uint32_t SigFigs;
    uint32_t SnapLen;
    uint32_t LinkType;
};

struct PcapRecordHeader {
    uint32_t Seconds;
    uint32_t Fraction; // microseconds, or nanoseconds with PCAP_MAGIC_NANOSECONDS
    uint32_t CapturedLength;
    uint32_t OriginalLength;
};

// Network byte order throughout.
struct Ipv4Header {
    uint8_t VersionIhl; // 0x45: version 4, five 32-bit words
    uint8_t Tos;
    uint16_t TotalLength;
    uint16_t Id;
    uint16_t Fragment;
    uint8_t Ttl;
    uint8_t Protocol;
    uint16_t Checksum;
    uint32_t Source;
    uint32_t Destination;
};

struct UdpHeader {
    uint16_t SourcePort;
    uint16_t DestinationPort;
    uint16_t Length;
    uint16_t Checksum; // 0: none (allowed over IPv4)
};

// One packet as the hub emulator writes it; the message follows.
struct PcapUdpPacket {
    PcapRecordHeader Record;
    Ipv4Header Ip;
    UdpHeader Udp;
};
#pragma pack(pop)

static_assert(sizeof(PcapFileHeader) == 24 && offsetof(PcapFileHeader, LinkType) == 20);
static_assert(sizeof(PcapRecordHeader) == 16);
static_assert(sizeof(Ipv4Header) == 20 && offsetof(Ipv4Header, Source) == 12);
static_assert(sizeof(UdpHeader) == 8);
static_assert(sizeof(PcapUdpPacket) == 44 && offsetof(PcapUdpPacket, Udp) == 36);

// Largest message a packet of this file carries (an IPv4 datagram is at most 65535 bytes).
constexpr uint32_t PCAP_MAX_MESSAGE = 65535 - sizeof(Ipv4Header) - sizeof(UdpHeader);

// Link-layer headers in front of the IPv4 packet in captures of other link types.
constexpr uint32_t ETHERNET_HEADER_SIZE = 14;   // type at 12
constexpr uint32_t LINUX_SLL_HEADER_SIZE = 16;  // protocol at 14
constexpr uint32_t LINUX_SLL2_HEADER_SIZE = 20; // protocol at 0

inline uint16_t PcapNet16(uint16_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    uint16_t out;
    std::memcpy(&out, b, 2);
    return out;
}

inline uint16_t PcapHost16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// The IPv4 header checksum: the one's complement of the one's complement sum of its words.
inline uint16_t PcapIpChecksum(const Ipv4Header& ip) {
    uint8_t bytes[sizeof(Ipv4Header)];
    std::memcpy(bytes, &ip, sizeof(bytes));
    uint32_t sum = 0;
    for (uint32_t i = 0; i < sizeof(bytes); i += 2) {
        sum += PcapHost16(bytes + i);
    }
    while (sum > 0xffff) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return PcapNet16(static_cast<uint16_t>(~sum));
}

// The file header of a recording as the hub emulator writes it.
inline PcapFileHeader PcapRecordingHeader() {
    return PcapFileHeader{PCAP_MAGIC_MICROSECONDS,
                          PCAP_VERSION_MAJOR,
                          PCAP_VERSION_MINOR,
                          0,
                          0,
                          PCAP_SNAPLEN,
                          PCAP_LINK_RAW};
}

// The headers of one recorded datagram of `length` bytes (at most PCAP_MAX_MESSAGE) from
// `source`:`sourcePort` to `destination`:`destinationPort`. Addresses in network order (as
// inet_addr gives them), ports in host order.
inline PcapUdpPacket PcapBuildPacket(uint32_t seconds, uint32_t microseconds, uint32_t source,
                                     uint16_t sourcePort, uint32_t destination,
                                     uint16_t destinationPort, uint16_t id, uint32_t length) {
    PcapUdpPacket p{};
    uint32_t ipLength = sizeof(Ipv4Header) + sizeof(UdpHeader) + length;
    p.Record = PcapRecordHeader{seconds, microseconds, ipLength, ipLength};
    p.Ip.VersionIhl = 0x45;
    p.Ip.TotalLength = PcapNet16(static_cast<uint16_t>(ipLength));
    p.Ip.Id = PcapNet16(id);
    p.Ip.Fragment = PcapNet16(IP_DONT_FRAGMENT);
    p.Ip.Ttl = IP_TTL;
    p.Ip.Protocol = IP_PROTOCOL_UDP;
    p.Ip.Source = source;
    p.Ip.Destination = destination;
    p.Ip.Checksum = PcapIpChecksum(p.Ip);
    p.Udp.SourcePort = PcapNet16(sourcePort);
    p.Udp.DestinationPort = PcapNet16(destinationPort);
    p.Udp.Length = PcapNet16(static_cast<uint16_t>(sizeof(UdpHeader) + length));
    return p;
}
