#!/bin/sh
# Runs a Windows program of the build under Wine: quietly, without the Mono/Gecko install
# prompts, and in a Wine prefix of its own (created on first use, which takes a while).
# A WINEPREFIX or WINEDEBUG from the caller's environment wins.
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/kivfsx-wine}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
mkdir -p "$(dirname "$WINEPREFIX")"
exec wine "$@"
