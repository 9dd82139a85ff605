#!/usr/bin/env bash
# check-release.sh OBJDUMP KIVFSX_EXE [SIMCONNECT_DLL]
# Checks a Windows build that cannot run here: every import of kivfsx.exe is one that
# tools/release-imports.txt allows (tools/release-imports-win64.txt for the x86_64 build, by
# the OBJDUMP's prefix), so the release starts on the oldest Windows its simulators run on, and
# the simulator stand-in exports the 15 entry points by plain name.
# KIV_RELEASE_IMPORTS names another list (the test of this check uses a shorter one).
set -euo pipefail
objdump=$1 exe=$2 dll=${3:-}
default_list=$(dirname "$0")/release-imports.txt
case "$(basename "$objdump")" in x86_64-*) default_list=$(dirname "$0")/release-imports-win64.txt ;; esac
list=${KIV_RELEASE_IMPORTS:-$default_list}

# "dll function" for every allowed import; "dll *" allows a whole DLL.
allowed=$(grep -v '^#' "$list" | awk 'NF >= 3 { for (i = 3; i <= NF; ++i) print tolower($1), $i }')
imports=$("$objdump" -p "$exe" |
  awk '/DLL Name:/ { dll = tolower($3) } /^\t[0-9a-f]+\t +[0-9]+  / { print dll, $3 }' | sort -u)
[ -n "$imports" ] || { echo "no imports read from $exe"; exit 1; }
bad=0
while read -r dllname fn; do
  if ! grep -qxF "$dllname $fn" <<<"$allowed" && ! grep -qxF "$dllname *" <<<"$allowed"; then
    echo "import not allowed for the release: $dllname $fn"
    bad=1
  fi
done <<<"$imports"
[ "$bad" = 0 ] || exit 1
echo "kivfsx imports $(wc -l <<<"$imports") functions, all allowed"

[ -n "$dll" ] || exit 0
exports=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&!/^[ \t]*\[/{f=0}')
for entry in Open RetrieveString WeatherRequestCloudState SetInputGroupState SubscribeToSystemEvent \
             AddToDataDefinition RequestDataOnSimObject MapInputEventToClientEvent \
             MapClientEventToSimEvent AddClientEventToNotificationGroup Close CallDispatch \
             RequestDataOnSimObjectType SetDataOnSimObject TransmitClientEvent; do
  grep -qx "SimConnect_$entry" <<<"$exports" || { echo "missing export SimConnect_$entry"; exit 1; }
done
echo "SimConnect.dll exports the 15 entry points by plain name"
