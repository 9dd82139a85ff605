#include "stand_records.h"

#include <cmath>
#include <cstring>

#include "stand_flight.h"
#include "stand_replay.h"

namespace {

constexpr int32_t TYPE_INT64 = 2;
constexpr int32_t TYPE_FLOAT32 = 3;
constexpr int32_t TYPE_STRING8 = 5;
constexpr int32_t TYPE_STRING260 = 10;
constexpr int32_t TYPE_XYZ = 16;

void PutU32(uint8_t* p, uint32_t v) {
    for (int32_t i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void PutI32(uint8_t* p, double v) {
    // Out-of-range and NaN values give 0 rather than undefined behaviour.
    int32_t n = (v >= -2147483648.0 && v < 2147483648.0) ? static_cast<int32_t>(v) : 0;
    PutU32(p, static_cast<uint32_t>(n));
}

void PutI64(uint8_t* p, double v) {
    int64_t n = (v >= -9.2e18 && v <= 9.2e18) ? static_cast<int64_t>(v) : 0;
    std::memcpy(p, &n, 8);
}

void PutF64(uint8_t* p, double v) {
    std::memcpy(p, &v, 8);
}
void PutF32(uint8_t* p, double v) {
    float f = static_cast<float>(v);
    std::memcpy(p, &f, 4);
}

uint32_t StringSize(int32_t type) {
    static const uint32_t SIZES[] = {8, 32, 64, 128, 256, 260};
    return SIZES[type - TYPE_STRING8];
}

void Header(uint8_t* buffer, uint32_t size, SC_DWORD id) {
    SIMCONNECT_RECV h{size, STAND_RECV_VERSION, id};
    std::memcpy(buffer, &h, sizeof h);
}

const char* FileOf(const char* systemEvent) {
    return StandSameText(systemEvent, "FlightLoaded")
               ? "flights\\other\\FLTSIM.FLT"
               : "SimObjects\\Airplanes\\B737_800\\aircraft.cfg";
}

bool Add(StandWork* work, uint32_t capacity, uint32_t* count, const StandWork& w) {
    if (*count >= capacity) {
        return false;
    }
    work[(*count)++] = w;
    return true;
}

// Plans one queued message; false when it does not fit and must wait for the next dispatch.
bool PlanPending(const StandPending& p, StandWork* work, uint32_t capacity, uint32_t* count,
                 bool* quit) {
    uint32_t serial = Stand.Conn.Serial;
    switch (p.Kind) {
    case PENDING_OPEN:
        return Add(work, capacity, count, StandNewWork(WORK_OPEN, serial));
    case PENDING_QUIT:
        *quit = Add(work, capacity, count, StandNewWork(WORK_QUIT, serial));
        return *quit;
    case PENDING_EXCEPTION: {
        StandWork w = StandNewWork(WORK_EXCEPTION, serial);
        w.Event = p.A;
        w.Data = p.B;
        w.Index = p.C;
        return Add(work, capacity, count, w);
    }
    case PENDING_SYSTEM_EVENT: {
        const StandSubscription* s = StandFindSubscription(p.Name);
        if (s == nullptr) {
            return true; // nobody listens: dropped
        }
        bool file =
            StandSameText(p.Name, "FlightLoaded") || StandSameText(p.Name, "AircraftLoaded");
        StandWork w = StandNewWork(file ? WORK_EVENT_FILENAME : WORK_EVENT, serial);
        w.Event = s->Id;
        StandCopyText(w.File, sizeof w.File, file ? FileOf(p.Name) : "");
        return Add(work, capacity, count, w);
    }
    case PENDING_CLIENT_EVENT: {
        StandWork w = StandNewWork(WORK_EVENT, serial);
        w.Event = p.A;
        w.Data = p.B;
        w.Group = p.C;
        return Add(work, capacity, count, w);
    }
    case PENDING_BYTYPE: {
        // One message per object of the type within the radius, numbered 1..n of n: as the
        // real library does, the user's own aircraft first, under its own object id (not the
        // proxy id a client passes for it; 1 unless `user-id` gave it another), then the AI
        // aircraft.
        // The stand-in has no helicopters, boats or ground vehicles. A replay lists the
        // aircraft of the recorded traffic list instead of its own.
        const int32_t type = static_cast<int32_t>(p.D);
        double t = StandFlightSeconds();
        double userLat = FlightValue("plane latitude", SIMCONNECT_OBJECT_ID_USER, t);
        double userLon = FlightValue("plane longitude", SIMCONNECT_OBJECT_ID_USER, t);
        uint32_t ids[STAND_MAX_TRAFFIC + 1];
        uint32_t n = 0;
        const bool aircraft =
            type == SIMCONNECT_SIMOBJECT_TYPE_ALL || type == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
        if (aircraft || type == SIMCONNECT_SIMOBJECT_TYPE_USER) {
            ids[n++] = Stand.Options.UserId;
        }
        const uint32_t replayFirst = n;
        const bool replay = aircraft && StandReplayActive();
        if (replay) {
            n += StandReplayTraffic(ids + n, STAND_MAX_TRAFFIC);
        }
        for (uint32_t i = 0; aircraft && !replay && i < Stand.Options.Traffic; ++i) {
            double lat = 0.0;
            double lon = 0.0;
            double agl = 0.0;
            double heading = 0.0;
            FlightTrafficPosition(i, t, &lat, &lon, &agl, &heading);
            if (FlightDistanceM(userLat, userLon, lat, lon) <= static_cast<double>(p.C)) {
                ids[n++] = STAND_AI_FIRST_ID + i;
            }
        }
        if (*count + n > capacity) {
            return false;
        }
        for (uint32_t k = 0; k < n; ++k) {
            StandWork w = StandNewWork(WORK_BYTYPE, serial);
            w.Request = p.A;
            w.Define = p.B;
            w.Object = ids[k];
            w.Entry = k + 1;
            w.OutOf = n;
            w.Replay = replay && k >= replayFirst ? k - replayFirst + 1 : 0;
            Add(work, capacity, count, w);
        }
        return true;
    }
    case PENDING_CLOUD: {
        StandWork w = StandNewWork(WORK_CLOUD, serial);
        w.Request = p.A;
        return Add(work, capacity, count, w);
    }
    }
    return true;
}

} // namespace

StandWork StandNewWork(StandWorkKind kind, uint32_t connection) {
    StandWork w{};
    w.Kind = kind;
    w.Connection = connection;
    w.Entry = 1;
    w.OutOf = 1;
    w.Group = SIMCONNECT_UNUSED;
    return w;
}

uint32_t StandDatumSize(int32_t type) {
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
    case TYPE_FLOAT32:
        return 4;
    case TYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
        return 8;
    case SIMCONNECT_DATATYPE_LATLONALT:
    case TYPE_XYZ:
        return 24;
    default:
        return (type >= TYPE_STRING8 && type <= TYPE_STRING260) ? StringSize(type) : 0;
    }
}

void StandPackRecord(const StandDefinition& def, uint32_t object, double t, uint8_t* out) {
    uint8_t* p = out;
    for (uint32_t i = 0; i < def.Count; ++i) {
        const StandDatum& d = def.Datums[i];
        switch (d.Type) {
        case SIMCONNECT_DATATYPE_INT32:
            PutI32(p, FlightValue(d.Name, object, t));
            break;
        case TYPE_INT64:
            PutI64(p, FlightValue(d.Name, object, t));
            break;
        case TYPE_FLOAT32:
            PutF32(p, FlightValue(d.Name, object, t));
            break;
        case SIMCONNECT_DATATYPE_FLOAT64:
            PutF64(p, FlightValue(d.Name, object, t));
            break;
        case SIMCONNECT_DATATYPE_LATLONALT: {
            double lla[3];
            FlightLatLonAlt(d.Name, object, t, lla);
            std::memcpy(p, lla, 24);
            break;
        }
        case TYPE_XYZ:
            std::memset(p, 0, 24);
            break;
        default: // strings: zero-terminated, zero-padded
            std::memset(p, 0, d.Size);
            FlightText(d.Name, object, reinterpret_cast<char*>(p), d.Size);
            break;
        }
        p += d.Size;
    }
}

void StandFillGeneration(uint8_t* out, uint32_t size, uint32_t generation) {
    uint8_t word[4];
    PutU32(word, generation);
    for (uint32_t i = 0; i < size; ++i) {
        out[i] = word[i % 4];
    }
}

uint32_t StandPlanDispatch(StandWork* work, uint32_t capacity, uint64_t nowMs) {
    uint32_t count = 0;
    uint32_t serial = Stand.Conn.Serial;
    if (!Stand.Options.Running || serial == 0) {
        return 0; // a stopped simulator sends nothing; queued messages wait
    }
    bool quit = false;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < Stand.PendingCount; ++i) {
        const StandPending& p = Stand.Pending[i];
        if (p.Connection != 0 && p.Connection != serial) {
            continue; // left over from an earlier connection
        }
        if (quit || !PlanPending(p, work, capacity, &count, &quit)) {
            Stand.Pending[kept++] = p;
        }
    }
    Stand.PendingCount = kept;
    if (quit) {
        // Nothing follows the quit message; the simulator is gone until `running 1`.
        StandDropConnection();
        Stand.Options.Running = false;
        return count;
    }
    // "SimStart" follows once the first dispatch (which delivers OPEN) is over.
    if (Stand.Conn.SimStartPending && Stand.Conn.Dispatches >= 1) {
        if (const StandSubscription* s = StandFindSubscription("SimStart")) {
            StandWork w = StandNewWork(WORK_EVENT, serial);
            w.Event = s->Id;
            if (Add(work, capacity, &count, w)) {
                Stand.Conn.SimStartPending = false;
            }
        }
    }
    uint64_t frameMs = 1000u / static_cast<uint32_t>(Stand.Options.FrameHz);
    uint64_t frameNow =
        (nowMs - Stand.StartMs) * static_cast<uint64_t>(Stand.Options.FrameHz) / 1000u;
    for (StandRequest& r : Stand.Requests) {
        if (!r.Used || StandReplayCarries(r.Define)) {
            continue; // a replayed definition's records come from the recording, below
        }
        bool frame =
            r.Period == SIMCONNECT_PERIOD_VISUAL_FRAME || r.Period == SIMCONNECT_PERIOD_SIM_FRAME;
        uint64_t periodMs = frame ? frameMs : (r.Period == SIMCONNECT_PERIOD_SECOND ? 1000u : 0u);
        uint32_t records = 0;
        if (frame && Stand.Options.Generation) {
            records = STAND_GENERATION_BURST;
        } else if (frame && Stand.Options.EveryFrame && r.Delivered) {
            // As the simulator queues them: one record for every frame since the last one.
            uint64_t due = frameNow > r.Frame ? frameNow - r.Frame : 0u;
            records = static_cast<uint32_t>(due < capacity ? due : capacity);
        } else if (!r.Delivered || nowMs - r.LastMs >= periodMs) {
            records = 1;
        }
        for (uint32_t k = 0; k < records; ++k) {
            StandWork w = StandNewWork(WORK_DATA, serial);
            w.Request = r.Id;
            w.Define = r.Define;
            w.Object = r.Object;
            w.UseGeneration = frame && Stand.Options.Generation;
            w.Generation = w.UseGeneration ? Stand.GenerationCounter++ : 0;
            if (!Add(work, capacity, &count, w)) {
                break;
            }
            r.Delivered = true;
            r.LastMs = nowMs;
            r.Frame = frameNow;
        }
        if (r.Period == SIMCONNECT_PERIOD_ONCE && r.Delivered) {
            r.Used = false;
        }
    }
    StandReplayDue due[STAND_REPLAY_SLOTS];
    uint32_t replayed = StandReplayPlanRecords(due, capacity - count, nowMs);
    for (uint32_t k = 0; k < replayed; ++k) {
        StandWork w = StandNewWork(WORK_DATA, serial);
        w.Request = due[k].Request;
        w.Define = due[k].Define;
        w.Object = due[k].Object;
        w.Replay = k + 1;
        work[count++] = w;
    }
    return count;
}

uint32_t StandBuildMessage(const StandWork& w, uint8_t* buffer) {
    if (w.Kind != WORK_QUIT && (w.Connection == 0 || w.Connection != Stand.Conn.Serial)) {
        return 0; // the connection ended since the dispatch was planned
    }
    switch (w.Kind) {
    case WORK_OPEN: {
        StandRecvOpen m{};
        Header(reinterpret_cast<uint8_t*>(&m), sizeof m, SIMCONNECT_RECV_ID_OPEN);
        StandCopyText(m.szApplicationName, sizeof m.szApplicationName, "KivSim stand-in");
        m.Versions[0] = 10; // application 10.0.61259.0, library 10.0.61259.0
        m.Versions[2] = 61259;
        m.Versions[4] = 10;
        m.Versions[6] = 61259;
        std::memcpy(buffer, &m, sizeof m);
        return sizeof m;
    }
    case WORK_QUIT:
        Header(buffer, sizeof(SIMCONNECT_RECV), SIMCONNECT_RECV_ID_QUIT);
        return sizeof(SIMCONNECT_RECV);
    case WORK_EXCEPTION: {
        SIMCONNECT_RECV_EXCEPTION m{};
        Header(reinterpret_cast<uint8_t*>(&m), sizeof m, SIMCONNECT_RECV_ID_EXCEPTION);
        m.dwException = w.Event;
        m.dwSendID = w.Data;
        m.dwIndex = w.Index;
        std::memcpy(buffer, &m, sizeof m);
        return sizeof m;
    }
    case WORK_EVENT:
    case WORK_EVENT_FILENAME: {
        SIMCONNECT_RECV_EVENT_FILENAME m{};
        bool file = w.Kind == WORK_EVENT_FILENAME;
        uint32_t size = file ? sizeof m : sizeof(SIMCONNECT_RECV_EVENT);
        Header(reinterpret_cast<uint8_t*>(&m), size,
               file ? SIMCONNECT_RECV_ID_EVENT_FILENAME : SIMCONNECT_RECV_ID_EVENT);
        m.Event.uGroupID = w.Group;
        m.Event.uEventID = w.Event;
        m.Event.dwData = w.Data;
        StandCopyText(m.szFileName, sizeof m.szFileName, w.File);
        std::memcpy(buffer, &m, size);
        return size;
    }
    case WORK_DATA:
    case WORK_BYTYPE: {
        const StandDefinition* def = StandFindDefinition(w.Define, false);
        uint32_t recordSize = def != nullptr ? def->RecordSize : 0;
        SIMCONNECT_RECV_SIMOBJECT_DATA m{};
        uint32_t size = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData) + recordSize;
        Header(reinterpret_cast<uint8_t*>(&m), size,
               w.Kind == WORK_DATA ? SIMCONNECT_RECV_ID_SIMOBJECT_DATA
                                   : SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
        // The user's aircraft, asked for by its proxy id or listed by type, is answered under its
        // own object id; its record holds the user's values whatever that id is.
        const bool user = w.Object == SIMCONNECT_OBJECT_ID_USER ||
                          (w.Kind == WORK_BYTYPE && w.Object == Stand.Options.UserId);
        const uint32_t object = user ? SIMCONNECT_OBJECT_ID_USER : w.Object;
        m.dwRequestID = w.Request;
        m.dwObjectID = user ? Stand.Options.UserId : w.Object;
        m.dwDefineID = w.Define;
        m.dwFlags = 0;
        m.dwentrynumber = w.Entry;
        m.dwoutof = w.OutOf;
        m.dwDefineCount = def != nullptr ? def->Count : 0;
        uint8_t* record = buffer + offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
        std::memcpy(buffer, &m, offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData));
        if (def == nullptr) {
            return size;
        }
        if (w.UseGeneration) {
            StandFillGeneration(record, recordSize, w.Generation);
        } else {
            StandPackRecord(*def, object, StandFlightSeconds(), record);
        }
        if (w.Replay != 0 && w.Kind == WORK_BYTYPE) {
            StandReplayTrafficRecord(w.Replay, *def, record);
        } else if (w.Replay != 0) {
            StandReplayRecord(w.Replay, *def, record);
        }
        return size;
    }
    case WORK_CLOUD: {
        uint32_t size = offsetof(SIMCONNECT_RECV_CLOUD_STATE, rgbData) + STAND_CLOUD_CELLS;
        Header(buffer, size, SIMCONNECT_RECV_ID_CLOUD_STATE);
        PutU32(buffer + offsetof(SIMCONNECT_RECV_CLOUD_STATE, dwRequestID), w.Request);
        PutU32(buffer + offsetof(SIMCONNECT_RECV_CLOUD_STATE, dwArraySize), STAND_CLOUD_CELLS);
        // A band of cloud whose density rises to the east and thins out to the north.
        uint8_t* cells = buffer + offsetof(SIMCONNECT_RECV_CLOUD_STATE, rgbData);
        for (uint32_t row = 0; row < 64; ++row) {
            for (uint32_t col = 0; col < 64; ++col) {
                cells[row * 64 + col] = static_cast<uint8_t>((col * 4 + (63 - row)) % 256);
            }
        }
        return size;
    }
    }
    return 0;
}
