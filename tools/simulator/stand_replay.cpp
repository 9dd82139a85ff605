#include "stand_replay.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stand_journal.h"
#include "tools/common/block_records.h"
#include "tools/common/pcap_file.h"

namespace {

// A captured packet: its link-layer header, at most 65535 bytes of IP, and room to spare.
constexpr uint32_t PACKET_BUFFER_SIZE = PCAP_SNAPLEN + 64;

// The aircraft datums of the traffic definition and where a traffic slot keeps each.
struct TrafficDatum {
    const char* Name;
    uint32_t Offset;
};
const TrafficDatum TRAFFIC_DATUMS[] = {
    {"Plane Latitude", offsetof(TrafficSlot, Latitude)},
    {"Plane Longitude", offsetof(TrafficSlot, Longitude)},
    {"Plane Alt Above Ground", offsetof(TrafficSlot, AltitudeAboveGround)},
};

// A block read from the recording, waiting for its time.
struct ReplayBlock {
    bool Valid;
    const BlockRecordPlace* Place;
    uint64_t OffsetMs; // after the first record of the recording
    uint8_t Message[BLOCK_MAX_SIZE];
};

// The replay. Guarded by StandMutex, as all of the stand-in's state.
struct ReplayState {
    bool OptionsRead;
    bool Active;
    bool Loop;
    char Path[260];
    FILE* File;
    bool Swapped;     // the file was written in the other byte order
    bool Nanoseconds; // its time fractions are nanoseconds
    uint32_t LinkType;
    bool Started;       // the clock runs
    uint64_t StartMs;   // stand-in time of the first record of this round
    bool HaveBase;      // BaseUs is set for this round
    uint64_t BaseUs;    // recording time of the first record of this round
    bool Ended;         // the recording is over and does not loop
    uint32_t Delivered; // records delivered in this round
    ReplayBlock Next;
    uint8_t Last[4][BLOCK_RECORD_MAX_SIZE]; // by block number: the record delivered last
    bool HaveLast[4];
    TrafficSlot Traffic[BLOCK2_TRAFFIC_SLOTS]; // the latest recorded traffic list
};
ReplayState Replay;

// The records planned by the current dispatch and the traffic answer it planned; built before
// the next dispatch plans (CallDispatch runs one dispatch at a time).
uint8_t Records[STAND_REPLAY_SLOTS][BLOCK_RECORD_MAX_SIZE];
uint32_t RecordSizes[STAND_REPLAY_SLOTS];
TrafficSlot Answer[BLOCK2_TRAFFIC_SLOTS];
uint8_t Packet[PACKET_BUFFER_SIZE];

uint32_t Swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

uint32_t FileWord(uint32_t v) {
    return Replay.Swapped ? Swap32(v) : v;
}

void Fail(const char* reason) {
    StandJournal("REPLAY error %s", reason);
    std::fprintf(stderr, "KivSim stand-in: cannot replay %s: %s; flying the built-in flight\n",
                 Replay.Path, reason);
    if (Replay.File != nullptr) {
        std::fclose(Replay.File);
        Replay.File = nullptr;
    }
    Replay.Active = false;
}

bool OpenRecording() {
    Replay.File = std::fopen(Replay.Path, "rb");
    if (Replay.File == nullptr) {
        Fail("the file cannot be opened");
        return false;
    }
    PcapFileHeader h;
    if (std::fread(&h, sizeof h, 1, Replay.File) != 1) {
        Fail("no pcap file header");
        return false;
    }
    Replay.Swapped =
        h.Magic == Swap32(PCAP_MAGIC_MICROSECONDS) || h.Magic == Swap32(PCAP_MAGIC_NANOSECONDS);
    uint32_t magic = FileWord(h.Magic);
    if (magic != PCAP_MAGIC_MICROSECONDS && magic != PCAP_MAGIC_NANOSECONDS) {
        Fail("not a pcap file (a pcapng file must first be saved as pcap)");
        return false;
    }
    Replay.Nanoseconds = magic == PCAP_MAGIC_NANOSECONDS;
    Replay.LinkType = FileWord(h.LinkType);
    if (Replay.LinkType != PCAP_LINK_RAW && Replay.LinkType != PCAP_LINK_IPV4 &&
        Replay.LinkType != PCAP_LINK_ETHERNET && Replay.LinkType != PCAP_LINK_LINUX_SLL &&
        Replay.LinkType != PCAP_LINK_LINUX_SLL2) {
        Fail("a link type other than raw IP, Ethernet or Linux \"any\"");
        return false;
    }
    StandJournal("REPLAY start file=%s", Replay.Path);
    return true;
}

// Where the IPv4 packet starts behind the link-layer header; false for anything else.
bool IpStart(const uint8_t* p, uint32_t n, uint32_t* at) {
    uint16_t type = ETHERTYPE_IPV4;
    switch (Replay.LinkType) {
    case PCAP_LINK_ETHERNET:
        if (n < ETHERNET_HEADER_SIZE) {
            return false;
        }
        type = PcapHost16(p + 12);
        *at = ETHERNET_HEADER_SIZE;
        break;
    case PCAP_LINK_LINUX_SLL:
        if (n < LINUX_SLL_HEADER_SIZE) {
            return false;
        }
        type = PcapHost16(p + 14);
        *at = LINUX_SLL_HEADER_SIZE;
        break;
    case PCAP_LINK_LINUX_SLL2:
        if (n < LINUX_SLL2_HEADER_SIZE) {
            return false;
        }
        type = PcapHost16(p);
        *at = LINUX_SLL2_HEADER_SIZE;
        break;
    default:
        *at = 0;
        break;
    }
    return type == ETHERTYPE_IPV4;
}

// The UDP payload of a captured packet of `n` bytes; null when it is not an unfragmented IPv4
// UDP datagram.
const uint8_t* UdpPayload(const uint8_t* p, uint32_t n, uint32_t* length) {
    uint32_t at = 0;
    if (!IpStart(p, n, &at) || n - at < sizeof(Ipv4Header) + sizeof(UdpHeader)) {
        return nullptr;
    }
    const uint8_t* ip = p + at;
    uint32_t ihl = (ip[0] & 0x0fu) * 4u;
    uint32_t total = PcapHost16(ip + offsetof(Ipv4Header, TotalLength));
    if ((ip[0] >> 4) != 4 || ihl < sizeof(Ipv4Header) || total > n - at ||
        total < ihl + sizeof(UdpHeader) || ip[offsetof(Ipv4Header, Protocol)] != IP_PROTOCOL_UDP ||
        (PcapHost16(ip + offsetof(Ipv4Header, Fragment)) & IP_FRAGMENT_BITS) != 0) {
        return nullptr;
    }
    const uint8_t* udp = ip + ihl;
    uint32_t udpLength = PcapHost16(udp + offsetof(UdpHeader, Length));
    if (udpLength < sizeof(UdpHeader) || udpLength > total - ihl) {
        return nullptr;
    }
    *length = udpLength - sizeof(UdpHeader);
    return udp + sizeof(UdpHeader);
}

// The place of the block that `message` is, or null when it is no well-formed block.
const BlockRecordPlace* BlockOf(const uint8_t* message, uint32_t length) {
    if (length < MSG_HEADER_SIZE) {
        return nullptr;
    }
    MsgHeader h;
    std::memcpy(&h, message, sizeof h);
    const BlockRecordPlace* place = BlockPlaceOfNumber(h.Count);
    if (h.MsgClass != MSG_CLASS_DATA || h.MsgType != MSG_TYPE_BLOCK || place == nullptr ||
        length != place->Size) {
        return nullptr;
    }
    return place;
}

bool AllZero(const uint8_t* p, uint32_t size) {
    for (uint32_t i = 0; i < size; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

// Reads up to the next block that carries a record into Replay.Next; false at the end of the
// recording (or at a damaged packet, which ends it too).
bool ReadNextBlock() {
    for (;;) {
        PcapRecordHeader h;
        if (std::fread(&h, sizeof h, 1, Replay.File) != 1) {
            return false;
        }
        uint32_t captured = FileWord(h.CapturedLength);
        if (captured > sizeof Packet) {
            if (std::fseek(Replay.File, static_cast<long>(captured), SEEK_CUR) != 0) {
                return false;
            }
            continue;
        }
        if (std::fread(Packet, 1, captured, Replay.File) != captured) {
            return false;
        }
        uint32_t length = 0;
        const uint8_t* message = UdpPayload(Packet, captured, &length);
        const BlockRecordPlace* place = message != nullptr ? BlockOf(message, length) : nullptr;
        if (place == nullptr || AllZero(message + BLOCK_PAYLOAD, place->RecordSize)) {
            continue; // not a block, or a block of a bridge that has no simulator yet
        }
        uint32_t fraction = FileWord(h.Fraction);
        uint64_t us = static_cast<uint64_t>(FileWord(h.Seconds)) * 1000000u +
                      (Replay.Nanoseconds ? fraction / 1000u : fraction);
        if (!Replay.HaveBase) {
            Replay.HaveBase = true;
            Replay.BaseUs = us;
        }
        Replay.Next.Valid = true;
        Replay.Next.Place = place;
        Replay.Next.OffsetMs = us > Replay.BaseUs ? (us - Replay.BaseUs) / 1000u : 0u;
        std::memcpy(Replay.Next.Message, message, length);
        return true;
    }
}

// Starts the next round at the first packet; false when the last round delivered nothing, so
// that an empty recording cannot loop for ever.
bool Rewind(uint64_t nowMs) {
    if (Replay.Delivered == 0 ||
        std::fseek(Replay.File, static_cast<long>(sizeof(PcapFileHeader)), SEEK_SET) != 0) {
        return false;
    }
    StandJournal("REPLAY loop records=%u", Replay.Delivered);
    Replay.StartMs = nowMs;
    Replay.HaveBase = false;
    Replay.Delivered = 0;
    std::memset(Replay.HaveLast, 0, sizeof Replay.HaveLast);
    return true;
}

const StandRequest* RequestOf(uint32_t define) {
    for (const StandRequest& r : Stand.Requests) {
        if (r.Used && r.Define == define) {
            return &r;
        }
    }
    return nullptr;
}

bool AnyBlockRequest() {
    for (const BlockRecordPlace& p : BLOCK_RECORD_PLACES) {
        if (RequestOf(p.Definition) != nullptr) {
            return true;
        }
    }
    return false;
}

void PutF64At(const StandDefinition& def, const char* name, double value, uint8_t* record) {
    uint32_t at = 0;
    for (uint32_t i = 0; i < def.Count; ++i) {
        const StandDatum& d = def.Datums[i];
        if (d.Type == SIMCONNECT_DATATYPE_FLOAT64 && StandSameText(d.Name, name)) {
            std::memcpy(record + at, &value, sizeof value);
        }
        at += d.Size;
    }
}

} // namespace

bool StandReplayActive() {
    if (!Replay.OptionsRead) {
        Replay.OptionsRead = true;
        const char* path = std::getenv("KIVSIM_REPLAY");
        const char* loop = std::getenv("KIVSIM_REPLAY_LOOP");
        Replay.Loop = loop != nullptr && std::strcmp(loop, "1") == 0;
        if (path != nullptr && path[0] != '\0') {
            StandCopyText(Replay.Path, sizeof Replay.Path, path);
            Replay.Active = OpenRecording();
        }
    }
    return Replay.Active;
}

bool StandReplayCarries(uint32_t define) {
    return StandReplayActive() && BlockPlaceOfDefinition(define) != nullptr;
}

uint32_t StandReplayPlanRecords(StandReplayDue* due, uint32_t capacity, uint64_t nowMs) {
    if (!StandReplayActive() || Replay.Ended) {
        return 0;
    }
    if (!Replay.Started) {
        if (!AnyBlockRequest()) {
            return 0; // the clock starts once somebody asks for the records
        }
        Replay.Started = true;
        Replay.StartMs = nowMs;
    }
    uint32_t count = 0;
    while (count < capacity && count < STAND_REPLAY_SLOTS) {
        if (!Replay.Next.Valid && !ReadNextBlock() && !(Replay.Loop && Rewind(nowMs))) {
            Replay.Ended = true;
            StandJournal("REPLAY end records=%u", Replay.Delivered);
            break;
        }
        if (!Replay.Next.Valid) {
            continue; // rewound: read the first block again
        }
        if (Replay.Next.OffsetMs > nowMs - Replay.StartMs) {
            break; // not yet due
        }
        Replay.Next.Valid = false;
        const BlockRecordPlace& place = *Replay.Next.Place;
        const uint8_t* record = Replay.Next.Message + BLOCK_PAYLOAD;
        if (place.Block == 2) {
            std::memcpy(Replay.Traffic, Replay.Next.Message + BLOCK2_TRAFFIC,
                        sizeof Replay.Traffic);
        }
        bool again = Replay.HaveLast[place.Block] &&
                     std::memcmp(Replay.Last[place.Block], record, place.RecordSize) == 0;
        const StandRequest* request = RequestOf(place.Definition);
        if (again || request == nullptr) {
            continue; // the simulator delivered it already, or nobody asks for it now
        }
        std::memcpy(Replay.Last[place.Block], record, place.RecordSize);
        Replay.HaveLast[place.Block] = true;
        std::memcpy(Records[count], record, place.RecordSize);
        RecordSizes[count] = place.RecordSize;
        due[count++] = StandReplayDue{request->Id, request->Define, request->Object};
        ++Replay.Delivered;
    }
    return count;
}

uint32_t StandReplayTraffic(uint32_t* ids, uint32_t capacity) {
    uint32_t n = 0;
    if (!Replay.Started || Replay.Ended) {
        return 0;
    }
    for (const TrafficSlot& slot : Replay.Traffic) {
        if (slot.ObjectId != 0 && n < capacity) {
            Answer[n] = slot;
            ids[n++] = slot.ObjectId;
        }
    }
    return n;
}

void StandReplayRecord(uint32_t slot, const StandDefinition& def, uint8_t* record) {
    uint32_t size = RecordSizes[slot - 1];
    uint32_t copied = size < def.RecordSize ? size : def.RecordSize;
    std::memcpy(record, Records[slot - 1], copied);
    std::memset(record + copied, 0, def.RecordSize - copied);
}

void StandReplayTrafficRecord(uint32_t slot, const StandDefinition& def, uint8_t* record) {
    const uint8_t* aircraft = reinterpret_cast<const uint8_t*>(&Answer[slot - 1]);
    for (const TrafficDatum& t : TRAFFIC_DATUMS) {
        double value;
        std::memcpy(&value, aircraft + t.Offset, sizeof value);
        PutF64At(def, t.Name, value, record);
    }
}

void StandReplayReset() {
    if (Replay.File != nullptr) {
        std::fclose(Replay.File);
    }
    std::memset(&Replay, 0, sizeof Replay);
}
