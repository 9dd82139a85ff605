// panel_gen: writes the tables of the hub's browser panel (panel_tables.json) from the
// program's own tables, at build time, so that the page names, places and labels everything
// exactly as the program writes and reads it and retypes nothing:
//   - every block field with its name, units, type and datagram offset: the data definitions
//     whose records are the block payloads (sim/datadefs_table.h, tools/wireshark/
//     block_records.h) and the words the bridge adds (tools/commgr/fields.h);
//   - the traffic slots' layout (net/blocks.h);
//   - the instruments (tools/commgr/panel_readings.h): which field each one shows, resolved by
//     name against those tables, and its unit and scale from the unit its data definition
//     names (a name no block carries, or a unit the panel does not know, fails the build);
//   - the controls: each a variable change, labelled with the simulator event the program
//     turns it into (tools/common/var_events.h; a control that becomes no event fails the
//     build), and the events of every index for the free entry;
//   - the link-loss time of the bridge's monitor (net/monitor.h) and the block interval.
//
//   panel_gen OUT.json
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "net/blocks.h"
#include "net/monitor.h"
#include "net/sender.h"
#include "sim/datadefs_table.h"
#include "sim/dispatch.h"
#include "tools/commgr/fields.h"
#include "tools/commgr/panel_readings.h"
#include "tools/common/field_kinds.h"
#include "tools/common/var_events.h"
#include "tools/common/block_records.h"
#include "vars/vartables.h"

namespace {

// A control: one variable change (index, value) sent through the hub.
struct Control {
    const char* Group;
    const char* Label;
    int32_t Index;
    double Value;
};
const Control CONTROLS[] = {
    {"Heading bug", "-10", 100, 4},      {"Heading bug", "-1", 100, 3},
    {"Heading bug", "+1", 100, 1},       {"Heading bug", "+10", 100, 2},
    {"AP altitude", "-1000", 99, 4},     {"AP altitude", "-100", 99, 3},
    {"AP altitude", "+100", 99, 1},      {"AP altitude", "+1000", 99, 2},
    {"AP speed", "-10", 101, 4},         {"AP speed", "-1", 101, 3},
    {"AP speed", "+1", 101, 1},          {"AP speed", "+10", 101, 2},
    {"Radios", "COM1 swap", 79, 1},      {"Radios", "COM2 swap", 80, 1},
    {"Radios", "NAV1 swap", 69, 1},      {"Radios", "NAV2 swap", 70, 1},
    {"Autopilot", "HDG hold on", 21, 1}, {"Autopilot", "HDG hold off", 21, 0},
};

[[noreturn]] void Fail(const char* what, const char* detail) {
    fprintf(stderr, "panel_gen: %s%s\n", what, detail);
    std::exit(1);
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string Number(double v) {
    char text[32];
    snprintf(text, sizeof(text), "%.17g", v);
    return text;
}

void Blocks(std::ostringstream& out) {
    out << "\"blocks\": [\n";
    bool firstBlock = true;
    for (const BlockRecordPlace& b : BLOCK_RECORD_PLACES) {
        out << (firstBlock ? "" : ",\n") << " {\"block\": " << b.Block << ", \"size\": " << b.Size
            << ", \"fields\": [\n";
        firstBlock = false;
        bool first = true;
        auto field = [&](const char* name, const char* units, const char* kind, uint32_t offset) {
            out << (first ? "" : ",\n") << "  {\"name\": " << Quoted(name)
                << ", \"units\": " << Quoted(units) << ", \"type\": \"" << kind
                << "\", \"offset\": " << offset << "}";
            first = false;
        };
        for (const DataDatum& d : DATA_DATUMS) {
            if (d.Definition == b.Definition) {
                field(d.Datum, d.Units != nullptr ? d.Units : "", KindOfDataType(d.Type),
                      BLOCK_PAYLOAD + d.Offset);
            }
        }
        for (uint32_t i = 0; ExtraFieldName(i) != nullptr; ++i) {
            Field f;
            ResolveField(ExtraFieldName(i), &f);
            const char* kind = KindOfDataType(f.Where[b.Block].Type);
            if (kind != nullptr) {
                field(f.Name, "", kind, f.Where[b.Block].Offset);
            }
        }
        out << "]}";
    }
    out << "],\n";
    out << "\"traffic\": {\"block\": 2, \"offset\": " << BLOCK2_TRAFFIC
        << ", \"slots\": " << BLOCK2_TRAFFIC_SLOTS << ", \"size\": " << sizeof(TrafficSlot)
        << ", \"lat\": " << offsetof(TrafficSlot, Latitude)
        << ", \"lon\": " << offsetof(TrafficSlot, Longitude)
        << ", \"agl\": " << offsetof(TrafficSlot, AltitudeAboveGround)
        << ", \"id\": " << offsetof(TrafficSlot, ObjectId) << "},\n";
    out << "\"aircraft\": {\"" << AIRCRAFT_OTHER << "\": \"other\"";
    for (const AircraftModel& a : AIRCRAFT_MODELS) {
        out << ", \"" << a.Code << "\": " << Quoted(a.Name);
    }
    out << "},\n";
}

void Readings(std::ostringstream& out) {
    out << "\"readings\": [\n";
    bool first = true;
    for (uint32_t i = 0; i < PANEL_READING_COUNT; ++i) {
        const PanelReading& r = PANEL_READINGS[i];
        PanelReadingPlace place;
        if (!PanelPlaceReading(r, &place)) {
            Fail("an instrument reads a field no block carries, or in a unit the panel does not "
                 "know: ",
                 r.Datum);
        }
        const char* kind = KindOfDataType(place.Type);
        if (kind == nullptr) {
            Fail("an instrument reads a field of a type the page cannot read: ", r.Datum);
        }
        out << (first ? "" : ",\n") << " {\"group\": " << Quoted(r.Group)
            << ", \"label\": " << Quoted(r.Label) << ", \"name\": " << Quoted(r.Datum)
            << ", \"role\": " << Quoted(r.Role) << ", \"block\": " << place.Block
            << ", \"offset\": " << place.Offset << ", \"type\": \"" << kind
            << "\", \"scale\": " << Number(place.Unit->Scale)
            << ", \"unit\": " << Quoted(place.Unit->Shown) << ", \"format\": " << Quoted(r.Format)
            << "}";
        first = false;
    }
    out << "],\n";
}

void Controls(std::ostringstream& out) {
    out << "\"controls\": [\n";
    bool first = true;
    for (const Control& c : CONTROLS) {
        std::string event = VarValueEvents(c.Index, FsxVarTable[c.Index].VarType, c.Value);
        if (event.empty()) {
            Fail("a control becomes no simulator event: ", c.Label);
        }
        out << (first ? "" : ",\n") << " {\"group\": " << Quoted(c.Group)
            << ", \"label\": " << Quoted(c.Label) << ", \"index\": " << c.Index
            << ", \"value\": " << Number(c.Value) << ", \"event\": " << Quoted(event) << "}";
        first = false;
    }
    out << "],\n";
    // Every index a variable change may name: its encoding and its events.
    out << "\"vars\": [\n";
    first = true;
    for (int32_t i = 0; i < MAX_FSXS; ++i) {
        const FsxVarRecord& v = FsxVarTable[i];
        if (v.InUse == 0 || (v.VarType != VAR_TYPE_INT && v.VarType != VAR_TYPE_DOUBLE &&
                             v.VarType != VAR_TYPE_DOUBLE1)) {
            continue;
        }
        out << (first ? "" : ",\n") << " {\"index\": " << i
            << ", \"form\": " << (v.VarType == VAR_TYPE_INT ? "\"int\"" : "\"double\"")
            << ", \"events\": " << Quoted(VarEventNames(i, v.VarType)) << "}";
        first = false;
    }
    out << "]\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: panel_gen OUT.json\n");
        return 2;
    }
    // ChangeVar reports the variables it does not know on standard output; nothing here is
    // meant for it.
    if (freopen("/dev/null", "w", stdout) == nullptr) {
        Fail("cannot silence standard output", "");
    }
    VarEventsStart();
    std::ostringstream out;
    out << "{\n\"linkLossMs\": " << MONITOR_TICK_MS * (MONITOR_MAX_MISSES + 1)
        << ",\n\"blockIntervalMs\": " << BLOCK_INTERVAL_MS << ",\n";
    Blocks(out);
    Readings(out);
    Controls(out);
    out << "}\n";
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << out.str();
    if (!file) {
        Fail("cannot write ", argv[1]);
    }
    return 0;
}
