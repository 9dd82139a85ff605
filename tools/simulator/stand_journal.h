// The journal the stand-in writes for tests (KIVSIM_JOURNAL), at the bottom of the stand-in:
// it knows nothing of the rest, and every layer above may write to it.
//
// One line per entry-point call and per delivered message, each line flushed as written:
//   CALL <Entry> <key>=<value> ... -> <result>
//   DELIVER id=<dwID> request=<r> define=<d> object=<o> entry=<n> size=<dwSize>
//           [event=<uEventID> data=<dwData>]  (EVENT and EVENT_FILENAME messages)
//           [exception=<dwException>]         (EXCEPTION messages)
//           [hex=<bytes>]  (with KIVSIM_JOURNAL_RECORDS=1: the record of a SIMOBJECT_DATA or
//                          _BYTYPE message, from byte 40; the whole message otherwise)
//   CONTROL <command line> -> ok|bad|ignored
//   LATE <Entry> send=<id> exception=<code>  (a call answered later by an EXCEPTION)
//   REPLAY ...                               (see stand_replay.h)
// With KIVSIM_JOURNAL_TIMES=1 each line (before any hex=) ends with " us=<wall-clock
// microseconds>", the clock the hub emulator's packet recording uses.
// Fields a message does not have are written as 0. The CALL line of CallDispatch comes
// before the DELIVER lines of that dispatch.
//
// Its own lock guards it; it is taken after StandMutex when both are held.
#pragma once

#include <cstdint>

// Sets the journal file, whether message bytes are journalled and whether each line ends with
// " us=<microseconds of the wall clock>" (taken as the line is begun); empty path: no journal.
void StandJournalConfigure(const char* path, bool records, bool times);
void StandJournalClose();
// Writes one journal line (a line feed is added).
void StandJournal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes the DELIVER line of a message about to be handed to the client.
void StandJournalDeliver(const uint8_t* message, uint32_t size);
