// The stand-in's test controls: the control channel it reads (the journal it writes is
// stand_journal.h). Above the state, the flight and the replay, which its commands change.
//
// Control channel (KIVSIM_CONTROL): a text file the tests append commands to, one per line.
// It is read at every Open and CallDispatch; only complete lines (ending in a line feed) are
// executed, each once. Blank lines and lines starting with '#' are skipped. Commands:
//   running 0|1           0: Open fails and an open connection receives nothing (it is kept,
//                         and resumes with `running 1`); 1: the simulator runs
//   quit                  QUIT at the next dispatch, which ends the connection; then not
//                         running until `running 1`
//   crash                 the simulator ends without a QUIT message: the connection is gone
//                         (every call on it fails) and Open fails until `running 1`
//   user-id <n>           the user's aircraft's object id (1 to 100; 1 at load): the by-type
//                         answers list the user under it, and the answers to requests on the
//                         user's aircraft (proxy id 0) carry it in dwObjectID
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

// Executes the control file's new lines (caller holds StandMutex).
void StandPollControl();
// Executes one command line; "ok", "bad" (not understood) or "ignored" (nothing to act on).
const char* StandExecuteCommand(const char* line);
// The `reset` command: the state, the flight's set values and the replay forgotten as at load
// time, the environment read again at once, and only the place in the control file kept
// (caller holds StandMutex).
void StandRestart();
