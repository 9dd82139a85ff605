// A stand-in for the simulator library in unit tests: SimApi filled with fake entry points
// that write every call into a journal and answer with scripted results, plus builders for
// the messages the library hands to the dispatch handler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/simconnect_api.h"
#include "test_support.h"

// One library call as the fake saw it. Integer arguments are kept in call order in Args.
struct FakeCall {
    std::string Fn; // entry point name without the "SimConnect_" prefix
    SC_HANDLE Handle;
    std::vector<uint32_t> Args;
    std::string Text;  // the name, datum or input text, when the call has one
    const char* Units; // AddToDataDefinition's units pointer (null: none)
};

// Decides the result of each call (after it is journaled); the default answers 0.
using FakeScript = std::function<SC_HRESULT(const FakeCall&)>;

// Fills SimApi with the fakes, empties the journal, the message queue and the script.
void FakeSimInstall();
void FakeSimScript(FakeScript script);
// Handle that the fake's Open gives to its n-th successful call (1, 2, ...).
SC_HANDLE FakeHandle(uint32_t n);
std::vector<FakeCall> FakeSimCalls();
std::vector<FakeCall> FakeSimCallsOf(const std::string& fn);
// The next CallDispatch delivers these messages, in order, to the handler it is given.
void FakeSimQueueMessage(const std::vector<uint8_t>& message);

// Messages. Sizes are those of the library's records; `cut` bytes are taken off the end.
std::vector<uint8_t> MsgHeaderOnly(SC_DWORD id);
std::vector<uint8_t> MsgException(SC_DWORD exception, SC_DWORD sendId, SC_DWORD index);
std::vector<uint8_t> MsgEvent(SC_DWORD id, SC_DWORD eventId, SC_DWORD data);
std::vector<uint8_t> MsgAddRemove(SC_DWORD eventId, int32_t objType, SC_DWORD objectId);
std::vector<uint8_t> MsgData(SC_DWORD kind, SC_DWORD request, SC_DWORD objectId, SC_DWORD entry,
                             const void* record, size_t size);
std::vector<uint8_t> MsgTraffic(SC_DWORD request, SC_DWORD objectId, SC_DWORD entry, double lat,
                                double lon, double alt);
std::vector<uint8_t> MsgCloud(SC_DWORD arraySize, const std::vector<uint8_t>& cells);
// Hands one message, cut or padded to `size` bytes, to HandleSimMsgs.
void DeliverSized(std::vector<uint8_t> message, SC_DWORD size);

// Each sim test runs in a fresh directory with the log started as "KivFSX.log", the fake
// library installed, the blocks, traffic table and simulator state zeroed, and process
// creation replaced by a stub (no test ever starts a process).
class SimTest : public TempDirTest {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string Log() const;
    // The log of this run including the part that a relaunch saved as "KivSaved.log".
    std::string FullLog() const;
};
