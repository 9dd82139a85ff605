// The datagrams the hub sends to KivFSX.
#include "tools/commgr/messages.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vars/vartables.h"

MsgHeader HubHeader(int32_t msgClass, int32_t msgType, int32_t count) {
    MsgHeader h{};
    h.MsgClass = msgClass;
    h.MsgType = msgType;
    h.Count = count;
    h.Version = MSG_VERSION;
    h.Source = COMMGR_NODE;
    h.Destination = NODE_ID;
    return h;
}

uint32_t BuildAddressMessage(const char* hubAddress, uint16_t dataPort, uint8_t* out, char* text) {
    MsgHeader h = HubHeader(MSG_CLASS_NETWORK, MSG_TYPE_ADDRESS, 0);
    memcpy(out, &h, sizeof(h));
    int n = snprintf(text, 64, "%s %u", hubAddress, static_cast<unsigned>(dataPort));
    uint32_t len = (n < 0 || n >= 64) ? 63u : static_cast<uint32_t>(n);
    memcpy(out + MSG_HEADER_SIZE, text, len);
    return MSG_HEADER_SIZE + len;
}

uint32_t BuildKeepAlive(uint8_t* out) {
    MsgHeader h = HubHeader(MSG_CLASS_NETWORK, MSG_TYPE_KEEP_ALIVE, 0);
    memcpy(out, &h, sizeof(h));
    return MSG_HEADER_SIZE;
}

uint32_t BuildShutdown(uint8_t* out) {
    MsgHeader h = HubHeader(MSG_CLASS_NETWORK, MSG_TYPE_SHUTDOWN, 0);
    memcpy(out, &h, sizeof(h));
    return MSG_HEADER_SIZE;
}

uint32_t BuildSizedMessage(uint32_t size, uint8_t* out) {
    MsgHeader h = HubHeader(MSG_CLASS_DATA, MSG_TYPE_FSX_IN, 0);
    memset(out, 0, size);
    memcpy(out, &h, size < sizeof(h) ? size : sizeof(h));
    return size;
}

bool ParseVarSetting(const char* text, VarSetting* out, char* error, size_t errorSize) {
    const char* eq = strchr(text, '=');
    if (eq == nullptr || eq == text || !isdigit(static_cast<unsigned char>(text[0]))) {
        snprintf(error, errorSize, "\"%s\" is not IDX=VALUE", text);
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long index = strtoull(text, &end, 10);
    if (end != eq || errno != 0 || index >= static_cast<unsigned long long>(MAX_FSXS)) {
        snprintf(error, errorSize, "\"%s\": the index must be 0 to %d", text, MAX_FSXS - 1);
        return false;
    }
    const char* value = eq + 1;
    out->Index = static_cast<uint32_t>(index);
    out->VarType = FsxVarTable[index].VarType;
    out->IntValue = 0;
    out->DoubleValue = 0.0;
    if (value[0] == '\0' || isspace(static_cast<unsigned char>(value[0]))) {
        snprintf(error, errorSize, "\"%s\": no value", text);
        return false;
    }
    errno = 0;
    if (out->VarType == VAR_TYPE_INT) {
        long long v = strtoll(value, &end, 10);
        if (*end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) {
            snprintf(error, errorSize, "\"%s\": index %u takes a 32-bit integer", text, out->Index);
            return false;
        }
        out->IntValue = static_cast<int32_t>(v);
        return true;
    }
    if (out->VarType == VAR_TYPE_DOUBLE || out->VarType == VAR_TYPE_DOUBLE1) {
        double v = strtod(value, &end);
        if (*end != '\0') {
            snprintf(error, errorSize, "\"%s\": index %u takes a number", text, out->Index);
            return false;
        }
        out->DoubleValue = v;
        return true;
    }
    // KivFSX cannot tell the width of such a value and drops the rest of the message, so the
    // hub does not send it (a raw datagram can, to test exactly that).
    snprintf(error, errorSize, "\"%s\": index %u has var type %d, which has no wire encoding", text,
             out->Index, out->VarType);
    return false;
}

uint32_t BuildVarChange(const VarSetting* settings, uint32_t count, uint8_t* out) {
    MsgHeader h = HubHeader(MSG_CLASS_DATA, MSG_TYPE_FSX_IN, static_cast<int32_t>(count));
    memcpy(out, &h, sizeof(h));
    uint32_t len = MSG_HEADER_SIZE;
    for (uint32_t i = 0; i < count; ++i) {
        const VarSetting& s = settings[i];
        uint32_t width =
            (s.VarType == VAR_TYPE_INT) ? sizeof(VarChangeInt) : sizeof(VarChangeDouble);
        if (len + width > COMMGR_MAX_VAR_MESSAGE) {
            return 0;
        }
        if (s.VarType == VAR_TYPE_INT) {
            VarChangeInt e{s.Index, s.IntValue};
            memcpy(out + len, &e, sizeof(e));
        } else {
            VarChangeDouble e{s.Index, s.DoubleValue};
            memcpy(out + len, &e, sizeof(e));
        }
        len += width;
    }
    return len;
}

void FormatVarSettings(const VarSetting* settings, uint32_t count, char* out, size_t size) {
    size_t used = 0;
    out[0] = '\0';
    for (uint32_t i = 0; i < count && used + 1 < size; ++i) {
        const VarSetting& s = settings[i];
        const char* sep = (i == 0) ? "" : ",";
        int n = (s.VarType == VAR_TYPE_INT)
                    ? snprintf(out + used, size - used, "%s%u:%d", sep, s.Index, s.IntValue)
                    : snprintf(out + used, size - used, "%s%u:%.6f", sep, s.Index, s.DoubleValue);
        if (n < 0) {
            break;
        }
        used += static_cast<size_t>(n);
    }
}

bool ParseHexBytes(const char* text, uint8_t* out, uint32_t size, uint32_t* length) {
    uint32_t len = 0;
    int32_t high = -1; // first digit of a pair, waiting for its second
    for (const char* p = text; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (isspace(c)) {
            if (high >= 0) {
                return false; // a lone digit between blanks
            }
            continue;
        }
        if (!isxdigit(c)) {
            return false;
        }
        int32_t digit = isdigit(c) ? c - '0' : (tolower(c) - 'a' + 10);
        if (high < 0) {
            high = digit;
            continue;
        }
        if (len >= size) {
            return false;
        }
        out[len++] = static_cast<uint8_t>(high * 16 + digit);
        high = -1;
    }
    if (high >= 0) {
        return false;
    }
    *length = len;
    return true;
}
