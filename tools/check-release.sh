#!/usr/bin/env bash
# check-release.sh OBJDUMP KIVFSX_EXE [SIMCONNECT_DLL]
# Checks a Windows build that cannot run here: kivfsx.exe imports system DLLs only (it is
# statically linked), and the simulator stand-in exports the 15 entry points by plain name.
set -euo pipefail
objdump=$1 exe=$2 dll=${3:-}
imports=$("$objdump" -p "$exe" | sed -n 's/^[ \t]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "kivfsx imports: $(echo $imports)"
for name in $imports; do
  case "$name" in
    kernel32.dll|ws2_32.dll|iphlpapi.dll|shell32.dll|msvcrt.dll|user32.dll|advapi32.dll|api-ms-win-*) ;;
    *) echo "unexpected DLL dependency: $name"; exit 1 ;;
  esac
done
[ -n "$dll" ] || exit 0
exports=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&!/^[ \t]*\[/{f=0}')
for entry in Open RetrieveString WeatherRequestCloudState SetInputGroupState SubscribeToSystemEvent \
             AddToDataDefinition RequestDataOnSimObject MapInputEventToClientEvent \
             MapClientEventToSimEvent AddClientEventToNotificationGroup Close CallDispatch \
             RequestDataOnSimObjectType SetDataOnSimObject TransmitClientEvent; do
  grep -qx "SimConnect_$entry" <<<"$exports" || { echo "missing export SimConnect_$entry"; exit 1; }
done
echo "SimConnect.dll exports the 15 entry points by plain name"
