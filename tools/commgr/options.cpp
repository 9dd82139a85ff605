// The command line of the hub emulator.
#include "tools/commgr/options.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const COMMGR_DEFAULT_FIELDS[] = {
    "Plane Latitude",
    "Plane Longitude",
    "Indicated Altitude",
    "Autopilot Heading Lock Dir",
    "COM Standby Frequency:1",
    "AircraftType",
    "SimConnected",
    "Traffic",
};
const uint32_t COMMGR_DEFAULT_FIELD_COUNT =
    sizeof(COMMGR_DEFAULT_FIELDS) / sizeof(COMMGR_DEFAULT_FIELDS[0]);

namespace {

void SetError(char* error, size_t size, const char* format, const char* what) {
    snprintf(error, size, format, what);
}

// Whole-text unsigned decimal within [min, max].
bool ParseUnsigned(const char* text, uint32_t min, uint32_t max, uint32_t* out) {
    if (text == nullptr || !isdigit(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    char* end = nullptr;
    unsigned long long value = strtoull(text, &end, 10);
    if (*end != '\0' || value < min || value > max) {
        return false;
    }
    *out = static_cast<uint32_t>(value);
    return true;
}

// Exactly four dot-separated decimal numbers of 0 to 255 (inet_addr would also take "10" or
// "0x7f.1", which nobody means as the hub's address).
bool IsDottedIpv4(const char* text) {
    unsigned a, b, c, d;
    char extra;
    if (strlen(text) > 15 || sscanf(text, "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &extra) != 4) {
        return false;
    }
    for (const char* p = text; *p != '\0'; ++p) {
        if (!isdigit(static_cast<unsigned char>(*p)) && *p != '.') {
            return false;
        }
    }
    return a < 256 && b < 256 && c < 256 && d < 256;
}

// "IDX=VALUE" with a decimal index and a non-empty value; the value is typed later, against
// the var type of the index.
bool IsSetText(const char* text) {
    const char* eq = strchr(text, '=');
    if (eq == nullptr || eq == text || eq[1] == '\0') {
        return false;
    }
    for (const char* p = text; p < eq; ++p) {
        if (!isdigit(static_cast<unsigned char>(*p))) {
            return false;
        }
    }
    return strlen(text) < COMMGR_SET_TEXT_SIZE;
}

// Splits a comma-separated list into the field names, trimming blanks around each name.
bool ParseFieldList(const char* text, CommgrOptions* out, char* error, size_t errorSize) {
    out->FieldCount = 0;
    const char* p = text;
    while (*p != '\0') {
        const char* end = strchr(p, ',');
        if (end == nullptr) {
            end = p + strlen(p);
        }
        const char* a = p;
        const char* b = end;
        while (a < b && isspace(static_cast<unsigned char>(*a))) {
            ++a;
        }
        while (b > a && isspace(static_cast<unsigned char>(b[-1]))) {
            --b;
        }
        if (b > a) {
            size_t len = static_cast<size_t>(b - a);
            if (len >= COMMGR_FIELD_NAME_SIZE || out->FieldCount >= COMMGR_MAX_FIELDS) {
                SetError(error, errorSize, "--fields: too many or too long names in \"%s\"", text);
                return false;
            }
            memcpy(out->Fields[out->FieldCount], a, len);
            out->Fields[out->FieldCount][len] = '\0';
            ++out->FieldCount;
        }
        p = (*end == ',') ? end + 1 : end;
    }
    return true;
}

} // namespace

bool ParseOptions(int32_t count, const char* const* args, CommgrOptions* out, char* error,
                  size_t errorSize) {
    memset(out, 0, sizeof(*out));
    out->ListenPort = COMMGR_DEFAULT_LISTEN_PORT;
    out->DataPort = COMMGR_DEFAULT_DATA_PORT;
    out->KeepAliveMs = COMMGR_DEFAULT_KEEPALIVE_MS;
    out->SummaryMs = COMMGR_DEFAULT_SUMMARY_MS;
    for (uint32_t i = 0; i < COMMGR_DEFAULT_FIELD_COUNT; ++i) {
        snprintf(out->Fields[i], COMMGR_FIELD_NAME_SIZE, "%s", COMMGR_DEFAULT_FIELDS[i]);
    }
    out->FieldCount = COMMGR_DEFAULT_FIELD_COUNT;
    error[0] = '\0';

    for (int32_t i = 0; i < count; ++i) {
        // Both "--name value" and "--name=value" are accepted.
        char name[64];
        const char* inlineValue = nullptr;
        const char* eq = strchr(args[i], '=');
        if (strncmp(args[i], "--", 2) == 0 && eq != nullptr &&
            static_cast<size_t>(eq - args[i]) < sizeof(name)) {
            memcpy(name, args[i], static_cast<size_t>(eq - args[i]));
            name[eq - args[i]] = '\0';
            inlineValue = eq + 1;
        } else {
            snprintf(name, sizeof(name), "%s", args[i]);
        }
        // The option's value: inline, or the next argument.
        auto value = [&]() -> const char* {
            if (inlineValue != nullptr) {
                return inlineValue;
            }
            return (i + 1 < count) ? args[++i] : nullptr;
        };
        uint32_t number = 0;

        if (strcmp(name, "--help") == 0 || strcmp(name, "-h") == 0) {
            out->Help = true;
        } else if (strcmp(name, "--quiet") == 0) {
            out->Quiet = true;
        } else if (strcmp(name, "--check-uniform") == 0) {
            out->CheckUniform = true;
        } else if (strcmp(name, "--record-payload") == 0) {
            out->RecordPayload = true;
        } else if (strcmp(name, "--listen-port") == 0 || strcmp(name, "--data-port") == 0) {
            if (!ParseUnsigned(value(), 1, 65535, &number)) {
                SetError(error, errorSize, "%s needs a port number 1 to 65535", name);
                return false;
            }
            (name[2] == 'l' ? out->ListenPort : out->DataPort) = static_cast<uint16_t>(number);
        } else if (strcmp(name, "--keepalive-ms") == 0) {
            if (!ParseUnsigned(value(), 1, 3600000, &out->KeepAliveMs)) {
                SetError(error, errorSize, "%s needs milliseconds 1 to 3600000", name);
                return false;
            }
        } else if (strcmp(name, "--summary-ms") == 0) {
            if (!ParseUnsigned(value(), 0, 3600000, &out->SummaryMs)) {
                SetError(error, errorSize, "%s needs milliseconds 0 to 3600000", name);
                return false;
            }
        } else if (strcmp(name, "--duration-s") == 0) {
            if (!ParseUnsigned(value(), 0, 31536000, &out->DurationS)) {
                SetError(error, errorSize, "%s needs a number of seconds", name);
                return false;
            }
        } else if (strcmp(name, "--address") == 0 || strcmp(name, "--listen-address") == 0 ||
                   strcmp(name, "--send-address") == 0) {
            const char* text = value();
            if (text == nullptr || !IsDottedIpv4(text)) {
                SetError(error, errorSize, "%s needs a dotted IPv4 address (A.B.C.D)", name);
                return false;
            }
            char* to = name[2] == 'a'   ? out->Address
                       : name[2] == 'l' ? out->ListenAddress
                                        : out->SendAddress;
            snprintf(to, sizeof(out->Address), "%s", text);
        } else if (strcmp(name, "--record") == 0 || strcmp(name, "--record-pcap") == 0) {
            const char* text = value();
            if (text == nullptr || text[0] == '\0' || strlen(text) >= COMMGR_PATH_SIZE) {
                SetError(error, errorSize, "%s needs a file name", name);
                return false;
            }
            char* path = strcmp(name, "--record") == 0 ? out->RecordPath : out->RecordPcapPath;
            snprintf(path, COMMGR_PATH_SIZE, "%s", text);
        } else if (strcmp(name, "--panel") == 0) {
            // [ADDR:]PORT; without an address only this host can open the page.
            const char* text = value();
            const char* colon = text != nullptr ? strrchr(text, ':') : nullptr;
            char address[16] = "127.0.0.1";
            bool ok = text != nullptr;
            if (ok && colon != nullptr) {
                size_t length = static_cast<size_t>(colon - text);
                ok = length < sizeof(address);
                if (ok) {
                    memcpy(address, text, length);
                    address[length] = '\0';
                    ok = IsDottedIpv4(address);
                }
            }
            if (!ok || !ParseUnsigned(colon != nullptr ? colon + 1 : text, 1, 65535, &number)) {
                SetError(error, errorSize, "%s needs [A.B.C.D:]PORT", name);
                return false;
            }
            snprintf(out->PanelAddress, sizeof(out->PanelAddress), "%s", address);
            out->PanelPort = static_cast<uint16_t>(number);
        } else if (strcmp(name, "--panel-name") == 0) {
            // A host name (letters, digits, dots, hyphens), as the browser writes it in Host.
            const char* text = value();
            bool ok = text != nullptr && text[0] != '\0' && strlen(text) < COMMGR_HOST_NAME_SIZE;
            for (const char* p = text; ok && *p != '\0'; ++p) {
                ok = isalnum(static_cast<unsigned char>(*p)) || *p == '.' || *p == '-';
            }
            if (!ok) {
                SetError(error, errorSize, "%s needs a host name (letters, digits, . and -)", name);
                return false;
            }
            snprintf(out->PanelName, sizeof(out->PanelName), "%s", text);
        } else if (strcmp(name, "--faults") == 0) {
            const char* text = value();
            if (text == nullptr || strlen(text) >= COMMGR_FAULTS_SIZE) {
                SetError(error, errorSize, "%s needs a fault list (see --help)", name);
                return false;
            }
            snprintf(out->Faults, sizeof(out->Faults), "%s", text);
        } else if (strcmp(name, "--fault-seed") == 0) {
            if (!ParseUnsigned(value(), 0, 0xFFFFFFFFu, &out->FaultSeed)) {
                SetError(error, errorSize, "%s needs a number", name);
                return false;
            }
        } else if (strcmp(name, "--fault-log") == 0) {
            const char* text = value();
            if (text == nullptr || text[0] == '\0' || strlen(text) >= COMMGR_PATH_SIZE) {
                SetError(error, errorSize, "%s needs a file name", name);
                return false;
            }
            snprintf(out->FaultLogPath, COMMGR_PATH_SIZE, "%s", text);
        } else if (strcmp(name, "--fields") == 0) {
            const char* text = value();
            if (text == nullptr) {
                SetError(error, errorSize, "%s needs a comma-separated list of names", name);
                return false;
            }
            if (!ParseFieldList(text, out, error, errorSize)) {
                return false;
            }
        } else if (strcmp(name, "--set") == 0) {
            // One or more IDX=VALUE texts: inline, and/or the following arguments up to the
            // next option.
            uint32_t before = out->SetCount;
            auto add = [&](const char* text) {
                if (!IsSetText(text) || out->SetCount >= COMMGR_MAX_SETS) {
                    SetError(error, errorSize, "--set: \"%s\" is not IDX=VALUE (or too many)",
                             text);
                    return false;
                }
                snprintf(out->Sets[out->SetCount++], COMMGR_SET_TEXT_SIZE, "%s", text);
                return true;
            };
            if (inlineValue != nullptr && !add(inlineValue)) {
                return false;
            }
            while (i + 1 < count && strncmp(args[i + 1], "--", 2) != 0) {
                if (!add(args[++i])) {
                    return false;
                }
            }
            if (out->SetCount == before) {
                SetError(error, errorSize, "%s needs at least one IDX=VALUE", name);
                return false;
            }
        } else {
            SetError(error, errorSize, "unknown option \"%s\"", args[i]);
            return false;
        }
    }
    return true;
}

const char* OptionsUsage() {
    return "Usage: commgr [--listen-port N] [--data-port N] [--address A.B.C.D]\n"
           "              [--listen-address A.B.C.D]\n"
           "              [--keepalive-ms N] [--record FILE] [--record-payload]\n"
           "              [--record-pcap FILE]\n"
           "              [--summary-ms N] [--fields \"name,name,...\"] [--check-uniform]\n"
           "              [--duration-s N] [--set IDX=VALUE ...] [--quiet]\n"
           "              [--panel [A.B.C.D:]PORT] [--panel-name NAME]\n"
           "              [--send-address A.B.C.D] [--faults LIST] [--fault-seed N]\n"
           "              [--fault-log FILE]\n"
           "Plays the communication manager (node 2) for KivFSX (node 14).\n"
           "  --listen-port N   port of KivFSX's discovery broadcast (default 9019)\n"
           "  --data-port N     port where the blocks are received (default 9020)\n"
           "  --address A       the hub address announced to KivFSX (default: the first\n"
           "                    non-loopback IPv4 address of this host)\n"
           "  --listen-address A  hear discovery only when sent to A (a broadcast address,\n"
           "                    or this host's own for unicast discovery; default: any)\n"
           "  --keepalive-ms N  keep-alive interval once answered (default 1000)\n"
           "  --record FILE     machine-readable event lines, flushed per line\n"
           "  --record-payload  also record every block's payload in hex\n"
           "  --record-pcap FILE  every datagram received and sent, as a pcap file for\n"
           "                    Wireshark (tools/wireshark/kivnet.lua) and for replay\n"
           "                    through the simulator stand-in (KIVSIM_REPLAY)\n"
           "  --summary-ms N    live summary interval; 0 = none (default 1000)\n"
           "  --fields LIST     fields to decode and show (datum names of the blocks, or\n"
           "                    AircraftType, SimConnected, FlightChanged, Traffic)\n"
           "  --check-uniform   record whether each block's record region is one repeated\n"
           "                    32-bit word\n"
           "  --duration-s N    end after N seconds (default: run until `quit`)\n"
           "  --set IDX=VALUE   variable changes sent once when the first block arrives\n"
           "  --quiet           no live summary and no notices, only errors\n"
           "  --panel [A:]PORT  serve the live panel page on http://A:PORT/ (default\n"
           "                    address 127.0.0.1: this host only); it answers only\n"
           "                    requests for its own address, localhost or --panel-name,\n"
           "                    and takes a change only from its own page\n"
           "  --panel-name NAME a host name the panel answers to besides its address\n"
           "  --send-address A  send the hub's datagrams from address A (default: any)\n"
           "  --faults LIST     a faulty network on everything the hub sends and receives,\n"
           "                    e.g. loss=20,dup=5,reorder=10,corrupt=1,delay=0-20 (percent,\n"
           "                    delay in ms; reorder holds a datagram back up to\n"
           "                    reorder-ms=1200 ms); --fault-seed N repeats the draws,\n"
           "                    --fault-log FILE writes one line per datagram's fate\n"
           "Commands on standard input: pause, resume, set IDX=VALUE [...], shutdown,\n"
           "  raw <hex bytes>, size <n>, address, quit\n";
}
