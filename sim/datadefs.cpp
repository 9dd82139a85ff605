// Data definitions (see sim/datadefs.h).
#include "sim/datadefs.h"

#include "sim/datadefs_table.h"
#include "sim/session.h"
#include "support/log.h"
#include "support/process.h"

namespace {
constexpr int32_t DATADEFS_LOG_LEVEL = 10;
constexpr float DATUM_EPSILON = 0.0f;
} // namespace

void AddDataDefs() {
    SC_HANDLE handle = hSimConnect.load();
    for (const DataDatum& datum : DATA_DATUMS) {
        SC_HRESULT result =
            SimApi.AddToDataDefinition(handle, datum.Definition, datum.Datum, datum.Units,
                                       datum.Type, DATUM_EPSILON, SIMCONNECT_UNUSED);
        if (result != 0) {
            ConsolePrint("AddToData returned error\n");
            SimLogLevel(DATADEFS_LOG_LEVEL, "AddToData error\n");
        }
    }
    SimLogLevel(DATADEFS_LOG_LEVEL, "Data Defs successfully added\n");
}
