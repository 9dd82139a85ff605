// What the hub checks in what it receives.
#include "tools/commgr/checks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const uint32_t BLOCK_SIZES[4] = {0, 360, 920, 400};

uint32_t CheckBlock(const uint8_t* data, uint32_t length, int32_t* blockNumber) {
    *blockNumber = 0;
    for (int32_t n = 1; n <= 3; ++n) {
        if (length == BLOCK_SIZES[n]) {
            *blockNumber = n;
        }
    }
    if (length < MSG_HEADER_SIZE) {
        return BLOCK_ERR_SHORT;
    }
    MsgHeader h;
    memcpy(&h, data, sizeof(h));
    uint32_t errors = 0;
    if (h.Count >= 1 && h.Count <= 3) {
        *blockNumber = h.Count;
    } else {
        errors |= BLOCK_ERR_COUNT;
    }
    if (*blockNumber == 0 || length != BLOCK_SIZES[*blockNumber]) {
        errors |= BLOCK_ERR_SIZE;
    }
    if (h.MsgClass != MSG_CLASS_DATA) {
        errors |= BLOCK_ERR_CLASS;
    }
    if (h.MsgType != MSG_TYPE_BLOCK) {
        errors |= BLOCK_ERR_TYPE;
    }
    if (h.Reserved != 0) {
        errors |= BLOCK_ERR_RESERVED;
    }
    if (h.Length != 0) {
        errors |= BLOCK_ERR_LENGTH;
    }
    if (h.Version != MSG_VERSION) {
        errors |= BLOCK_ERR_VERSION;
    }
    if (h.Source != NODE_ID) {
        errors |= BLOCK_ERR_SOURCE;
    }
    if (h.Destination != COMMGR_NODE) {
        errors |= BLOCK_ERR_DEST;
    }
    if (h.Sequence >= 1000) {
        errors |= BLOCK_ERR_SEQ;
    }
    return errors;
}

void FormatBlockErrors(uint32_t errors, char* out, size_t size) {
    static const char* const NAMES[] = {"short",  "size",    "class",  "type", "count", "reserved",
                                        "length", "version", "source", "dest", "seq"};
    size_t used = 0;
    out[0] = '\0';
    for (uint32_t bit = 0; bit < sizeof(NAMES) / sizeof(NAMES[0]); ++bit) {
        if ((errors & (1u << bit)) == 0) {
            continue;
        }
        int n = snprintf(out + used, size - used, "%s%s", used == 0 ? "" : ",", NAMES[bit]);
        if (n < 0 || used + static_cast<size_t>(n) >= size) {
            break;
        }
        used += static_cast<size_t>(n);
    }
}

bool SeqTrack(SeqTracker* tracker, uint32_t sequence, uint64_t nowMs, uint32_t* expected) {
    bool resync = !tracker->Started || nowMs - tracker->LastMs > SEQ_RESYNC_SILENCE_MS;
    uint32_t due = (tracker->Last + 1) % 1000;
    tracker->Started = true;
    tracker->Last = sequence;
    tracker->LastMs = nowMs;
    *expected = due;
    return !resync && sequence != due;
}

void ParseDiscovery(const uint8_t* data, uint32_t length, NetAddr from, Discovery* out) {
    memset(out, 0, sizeof(*out));
    memcpy(&out->Header, data, length < sizeof(MsgHeader) ? length : sizeof(MsgHeader));
    // The text: from offset 32 to the first line end or NUL; anything unprintable shows as '.'
    // so that the record line stays one line.
    uint32_t t = 0;
    for (uint32_t i = MSG_HEADER_SIZE; i < length && t + 1 < sizeof(out->Text); ++i) {
        char c = static_cast<char>(data[i]);
        if (c == '\n' || c == '\0') {
            break;
        }
        out->Text[t++] = (c < 0x20 || c > 0x7e || c == '"') ? '.' : c;
    }
    out->Text[t] = '\0';

    const MsgHeader& h = out->Header;
    if (length <= MSG_HEADER_SIZE || h.MsgClass != MSG_CLASS_NETWORK ||
        h.MsgType != MSG_TYPE_KEEP_ALIVE) {
        snprintf(out->Reason, sizeof(out->Reason), "not a discovery (class %d type %d, %u bytes)",
                 h.MsgClass, h.MsgType, length);
        return;
    }
    if (h.Version != MSG_VERSION || h.Source != NODE_ID) {
        snprintf(out->Reason, sizeof(out->Reason), "version %d from node %d, not 503 from 14",
                 h.Version, h.Source);
        return;
    }
    char host[64];
    int port = 0;
    if (sscanf(out->Text, "%63s %d", host, &port) != 2 || port < 1 || port > 65535) {
        snprintf(out->Reason, sizeof(out->Reason), "text \"%.60s\" has no address and port",
                 out->Text);
        return;
    }
    uint32_t addr = PlatformInetAddr(host);
    if (addr == PLATFORM_INADDR_NONE) {
        snprintf(out->Reason, sizeof(out->Reason), "\"%.60s\" is not an IPv4 address", host);
        return;
    }
    out->Reply.Addr = (addr == 0) ? from.Addr : addr;
    out->Reply.Port = static_cast<uint16_t>(port);
    out->Valid = true;
}
