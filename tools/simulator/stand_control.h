// The stand-in's test controls: the journal it writes and the control channel it reads.
//
// Journal (KIVSIM_JOURNAL): one line per entry-point call and per delivered message, each
// line flushed as written:
//   CALL <Entry> <key>=<value> ... -> <result>
//   DELIVER id=<dwID> request=<r> define=<d> object=<o> entry=<n> size=<dwSize>
//           [event=<uEventID> data=<dwData>]  (EVENT and EVENT_FILENAME messages)
//           [exception=<dwException>]         (EXCEPTION messages)
//           [hex=<bytes>]  (with KIVSIM_JOURNAL_RECORDS=1: the record of a SIMOBJECT_DATA or
//                          _BYTYPE message, from byte 40; the whole message otherwise)
//   CONTROL <command line> -> ok|bad|ignored
//   LATE <Entry> send=<id> exception=<code>  (a call answered later by an EXCEPTION)
// With KIVSIM_JOURNAL_TIMES=1 each line (before any hex=) ends with " us=<wall-clock
// microseconds>", the clock the hub emulator's packet recording uses.
// Fields a message does not have are written as 0. The CALL line of CallDispatch comes
// before the DELIVER lines of that dispatch.
//
// Control channel (KIVSIM_CONTROL): a text file the tests append commands to, one per line.
// It is read at every Open and CallDispatch; only complete lines (ending in a line feed) are
// executed, each once. Blank lines and lines starting with '#' are skipped. Commands:
//   running 0|1           0: Open fails and an open connection receives nothing (it is kept,
//                         and resumes with `running 1`); 1: the simulator runs
//   quit                  QUIT at the next dispatch, which ends the connection; then not
//                         running until `running 1`
//   fail <Entry> <n>      the next n calls of <Entry> fail (-1: all, 0: none)
//   exception <code>      an EXCEPTION message (dwSendID 1, dwIndex 2)
//   late-fail <Entry> <n> <code>
//                         the next n calls of <Entry> succeed (-1: all, 0: none) and each is
//                         answered, at a later dispatch, by an EXCEPTION with <code>, the
//                         call's send id (calls are numbered from 1 since load) and index 1
//   event <name>          SimStart | Crashed (EVENT), FlightLoaded | AircraftLoaded
//                         (EVENT_FILENAME); only when the client subscribed to it
//   button <input>        the mapped client event(s) of <input>, when its input group is on
//   model <text>          the "ATC MODEL" text
//   traffic <n>           AI aircraft count (at most 100)
//   set <datum>=<number>  overrides a datum's value (name case-insensitive)
//   generation 0|1        generation mode
//   cloud                 a CLOUD_STATE message (request 0)
//   reset                 back to the state at load: no connection, definitions, maps,
//                         queued messages, scripted failures or set values; the environment
//                         is read again (KIVSIM_FAIL applied anew). The journal continues and
//                         the control file goes on after this line.
// Messages the control channel asks for wait for the next dispatch of whichever connection
// is then open.
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

// Executes the control file's new lines (caller holds StandMutex).
void StandPollControl();
// Executes one command line; "ok", "bad" (not understood) or "ignored" (nothing to act on).
const char* StandExecuteCommand(const char* line);
// Applies a list of `fail` commands separated by ';' ("Open 2;CallDispatch -1"; the word
// "fail" in front of each is optional).
void StandApplyFailList(const char* list);
