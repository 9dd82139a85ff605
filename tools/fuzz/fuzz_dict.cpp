// fuzz_dict: prints the fuzzers' dictionary (libFuzzer's -dict format) from the program's own
// headers: the datagram header's words, the indices ChangeVar knows, the ADF band in the
// simulator's form, and the kinds, ids, sizes and texts of the library's messages.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "net/blocks.h"
#include "net/msg.h"
#include "sim/changevar.h"
#include "sim/changevar_table.h"
#include "sim/dispatch.h"
#include "sim/events.h"
#include "sim/session.h"
#include "sim/simconnect_api.h"
#include "vars/vartables.h"

namespace {

std::set<std::string> Printed; // each byte string once

void Bytes(const void* data, size_t size) {
    std::string text;
    char hex[5];
    for (size_t i = 0; i < size; ++i) {
        snprintf(hex, sizeof(hex), "\\x%02X", static_cast<const uint8_t*>(data)[i]);
        text += hex;
    }
    if (Printed.insert(text).second) {
        printf("k%zu=\"%s\"\n", Printed.size(), text.c_str());
    }
}
template <typename T> void Word(T value) {
    Bytes(&value, sizeof(value));
}

} // namespace

int main() {
    for (int32_t v : {MSG_VERSION, MSG_CLASS_DATA, MSG_CLASS_NETWORK, MSG_TYPE_BLOCK,
                      MSG_TYPE_FSX_IN, MSG_TYPE_ADDRESS, MSG_TYPE_KEEP_ALIVE, MSG_TYPE_SHUTDOWN}) {
        Word(v);
    }
    Word(NODE_ID);
    Word(COMMGR_NODE);
    for (int32_t index = 0; index < MAX_FSXS; ++index) {
        if (InputRowFor(FORM_INT, index) != nullptr || InputRowFor(FORM_DOUBLE, index) != nullptr) {
            Word(index);
        }
    }
    Word(ToBcd32(ADF_MIN_TENTHS_KHZ));
    Word(ToBcd32(ADF_MAX_TENTHS_KHZ));
    for (SC_DWORD id = SIMCONNECT_RECV_ID_NULL; id <= SIMCONNECT_RECV_ID_CLOUD_STATE; ++id) {
        Word(id);
    }
    for (SC_DWORD id :
         {REQUEST_BLOCK3, REQUEST_BLOCK2, REQUEST_BLOCK1, REQUEST_MODEL, REQUEST_TRAFFIC,
          REQUEST_AI_OBJECT, EVENT_SIM_START, EVENT_MY_EVENT, EVENT_CRASHED, EVENT_FLIGHT_LOADED,
          EVENT_AIRCRAFT_LOADED, EVENT_OBJECT_ADDED, EVENT_OBJECT_REMOVED, EVENT_MY_KEY}) {
        Word(id);
    }
    // Message sizes, as the dispatch target reads them (two bytes).
    const size_t record = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
    for (size_t size :
         {sizeof(SIMCONNECT_RECV_EXCEPTION), sizeof(SIMCONNECT_RECV_EVENT),
          sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE), sizeof(SIMCONNECT_RECV_EVENT_FILENAME),
          sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA), record + BLOCK1_RECORD_SIZE,
          record + BLOCK2_RECORD_SIZE, record + BLOCK3_RECORD_SIZE,
          offsetof(SIMCONNECT_RECV_CLOUD_STATE, rgbData) + CLOUD_GRID_SIDE * CLOUD_GRID_SIDE}) {
        Word(static_cast<uint16_t>(size));
    }
    for (const AircraftModel& model : AIRCRAFT_MODELS) {
        Bytes(model.Name, strlen(model.Name) + 1);
    }
    Word(TRAFFIC_MIN_ALTITUDE_FT);
    return 0;
}
