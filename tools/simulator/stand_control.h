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
// Fields a message does not have are written as 0. The CALL line of CallDispatch comes
// before the DELIVER lines of that dispatch.
//
// Control channel (KIVSIM_CONTROL): a text file the tests append commands to, one per line.
// It is read at every Open and CallDispatch; only complete lines (ending in a line feed) are
// executed, each once. Blank lines and lines starting with '#' are skipped.
#pragma once

#include <cstdint>

// Sets the journal file and whether message bytes are journalled; empty path: no journal.
void StandJournalConfigure(const char* path, bool records);
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
