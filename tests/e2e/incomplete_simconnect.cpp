// A simulator library that exports every entry point but SimConnect_SetDataOnSimObject: the
// loader must refuse it although the program never calls that entry point.
#include <cstdint>

extern "C" {
#define STUB(name)                                                                                 \
    __attribute__((visibility("default"))) int32_t name() {                                        \
        return -1;                                                                                 \
    }
STUB(SimConnect_Open)
STUB(SimConnect_RetrieveString)
STUB(SimConnect_WeatherRequestCloudState)
STUB(SimConnect_SetInputGroupState)
STUB(SimConnect_SubscribeToSystemEvent)
STUB(SimConnect_AddToDataDefinition)
STUB(SimConnect_RequestDataOnSimObject)
STUB(SimConnect_MapInputEventToClientEvent)
STUB(SimConnect_MapClientEventToSimEvent)
STUB(SimConnect_AddClientEventToNotificationGroup)
STUB(SimConnect_Close)
STUB(SimConnect_CallDispatch)
STUB(SimConnect_RequestDataOnSimObjectType)
STUB(SimConnect_TransmitClientEvent)
}
