#!/bin/sh
# Runs a Windows program of the build under Wine: quietly, without the Mono/Gecko install
# prompts, and in a Wine prefix of its own (created on first use, which takes a while).
# A WINEPREFIX or WINEDEBUG from the caller's environment wins.
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/kivfsx-wine}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
mkdir -p "$(dirname "$WINEPREFIX")"
# The 64-bit loader by name: with Wine's 32-bit half installed, "wine" runs the 32-bit loader,
# which a kernel without 32-bit support cannot start.
exec "$(command -v wine64 || echo /usr/lib/wine/wine64)" "$@"
