// Replay: the stand-in flies a recorded flight instead of its own. A block payload is, byte for
// byte, the record of the data definition behind it, so a recording of the cockpit network
// (commgr --record-pcap, or a capture that Wireshark saved as pcap) holds the records the
// simulator delivered. With
//   KIVSIM_REPLAY=FILE.pcap   the recording to replay
//   KIVSIM_REPLAY_LOOP=1      start again at its end (default: stop there)
// the stand-in delivers, for the requests of the block definitions (Block3 -> definition 0,
// Block2 -> definition 1, Block1 -> definition 2), the records of the recorded blocks in their
// order and with their original spacing in time, the clock starting at the first dispatch that
// has such a request; the answers of the traffic request list the user's aircraft and then the
// aircraft of the latest recorded traffic list. Everything else (the model, events, the cloud
// state) stays the built-in flight's. A record equal to the one before it, and the empty records of
// a bridge that had no simulator yet, are not delivered again. After the last record (without
// looping) the simulator sends no more records and lists no traffic.
//
// Journal lines: REPLAY start file=<path> | REPLAY loop records=<n> | REPLAY end records=<n> |
// REPLAY error <reason> (the recording cannot be read; the built-in flight flies instead, and
// the reason also goes to standard error).
//
// Above the state and the journal; the messages of a dispatch (stand_records) carry what it
// plans. All functions here run with StandMutex held.
#pragma once

#include <cstdint>

#include "stand_state.h"

// Records one dispatch can deliver; more that are due wait for the next dispatch.
constexpr uint32_t STAND_REPLAY_SLOTS = 64;

// Reads the options at the first call and opens the recording; true while a recording replaces
// the built-in flight.
bool StandReplayActive();
// True when the records of definition `define` come from the recording.
bool StandReplayCarries(uint32_t define);
// A recorded record that is due, and the request it answers.
struct StandReplayDue {
    uint32_t Request;
    uint32_t Define;
    uint32_t Object;
};

// Plans the recorded records due at `nowMs` into `due` (at most `capacity`, and at most
// STAND_REPLAY_SLOTS); returns how many it wrote. The k-th of them is built by
// StandReplayRecord(k + 1, ...). Once per dispatch: the records of the dispatch before have all
// been built by then.
uint32_t StandReplayPlanRecords(StandReplayDue* due, uint32_t capacity, uint64_t nowMs);
// The aircraft of the latest recorded traffic list, for the answer to a traffic request that
// the current dispatch plans: their object ids into `ids` (at most `capacity`); the answer's
// k-th of them is built by StandReplayTrafficRecord(k + 1, ...). None before the first record
// and after the last.
uint32_t StandReplayTraffic(uint32_t* ids, uint32_t capacity);
// Writes the record (of definition `def`) of planned record `slot`, or of the aircraft `slot`
// of the traffic answer.
void StandReplayRecord(uint32_t slot, const StandDefinition& def, uint8_t* record);
void StandReplayTrafficRecord(uint32_t slot, const StandDefinition& def, uint8_t* record);
// Closes the recording and forgets the replay; the environment is read again at the next call.
void StandReplayReset();
