// The stand-in's exported entry points, with the types the client binds them to.
#pragma once

#include "stand_api.h"

extern "C" {
SC_HRESULT PLATFORM_STDCALL SimConnect_Open(SC_HANDLE* handle, const char* name, SC_HWND wnd,
                                            SC_DWORD userEvent, SC_HANDLE event,
                                            SC_DWORD configIndex);
SC_HRESULT PLATFORM_STDCALL SimConnect_RetrieveString(SIMCONNECT_RECV* data, SC_DWORD cbData,
                                                      void* stringV, char** out, SC_DWORD* cbOut);
SC_HRESULT PLATFORM_STDCALL SimConnect_WeatherRequestCloudState(SC_HANDLE handle, SC_DWORD request,
                                                                float minLat, float minLon,
                                                                float minAlt, float maxLat,
                                                                float maxLon, float maxAlt,
                                                                SC_DWORD flags);
SC_HRESULT PLATFORM_STDCALL SimConnect_SetInputGroupState(SC_HANDLE handle, SC_DWORD group,
                                                          SC_DWORD state);
SC_HRESULT PLATFORM_STDCALL SimConnect_SubscribeToSystemEvent(SC_HANDLE handle, SC_DWORD event,
                                                              const char* name);
SC_HRESULT PLATFORM_STDCALL SimConnect_AddToDataDefinition(SC_HANDLE handle, SC_DWORD define,
                                                           const char* datum, const char* units,
                                                           int32_t type, float epsilon,
                                                           SC_DWORD datumId);
SC_HRESULT PLATFORM_STDCALL SimConnect_RequestDataOnSimObject(SC_HANDLE handle, SC_DWORD request,
                                                              SC_DWORD define, SC_DWORD object,
                                                              int32_t period, SC_DWORD flags,
                                                              SC_DWORD origin, SC_DWORD interval,
                                                              SC_DWORD limit);
SC_HRESULT PLATFORM_STDCALL SimConnect_MapInputEventToClientEvent(
    SC_HANDLE handle, SC_DWORD group, const char* input, SC_DWORD downEvent, SC_DWORD downValue,
    SC_DWORD upEvent, SC_DWORD upValue, SC_BOOL maskable);
SC_HRESULT PLATFORM_STDCALL SimConnect_MapClientEventToSimEvent(SC_HANDLE handle, SC_DWORD event,
                                                                const char* name);
SC_HRESULT PLATFORM_STDCALL SimConnect_AddClientEventToNotificationGroup(SC_HANDLE handle,
                                                                         SC_DWORD group,
                                                                         SC_DWORD event,
                                                                         SC_BOOL maskable);
SC_HRESULT PLATFORM_STDCALL SimConnect_Close(SC_HANDLE handle);
SC_HRESULT PLATFORM_STDCALL SimConnect_CallDispatch(SC_HANDLE handle, SimDispatchProc proc,
                                                    void* context);
SC_HRESULT PLATFORM_STDCALL SimConnect_RequestDataOnSimObjectType(SC_HANDLE handle,
                                                                  SC_DWORD request, SC_DWORD define,
                                                                  SC_DWORD radius, int32_t type);
SC_HRESULT PLATFORM_STDCALL SimConnect_SetDataOnSimObject(SC_HANDLE handle, SC_DWORD define,
                                                          SC_DWORD object, SC_DWORD flags,
                                                          SC_DWORD count, SC_DWORD unitSize,
                                                          void* data);
SC_HRESULT PLATFORM_STDCALL SimConnect_TransmitClientEvent(SC_HANDLE handle, SC_DWORD object,
                                                           SC_DWORD event, SC_DWORD data,
                                                           SC_DWORD group, SC_DWORD flags);
}
