#!/bin/sh
# Runs a Windows program of the build under Wine: quietly, without the Mono/Gecko install
# prompts, and in a Wine prefix of its own (created on first use, which takes a while).
# A WINEPREFIX or WINEDEBUG from the caller's environment wins.
#   wine-run.sh PROGRAM [ARGS...]   PROGRAM: a path to an .exe, or a program of Wine's own
#                                   (e.g. wineboot.exe), which runs as a 64-bit one
#   wine-run.sh --can-run-32        exit 0 when 32-bit Windows programs can run here; else
#                                   exit 77 with the reason on standard error
# Debian's `wine` command always starts Wine's 32-bit loader once wine32:i386 is installed, so
# a 64-bit program goes straight to the 64-bit loader. A 32-bit program needs the 32-bit one:
# when it cannot run here, PROGRAM is not started and the exit code is 77 (a skip for CTest).
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/kivfsx-wine}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
wine64=/usr/lib/wine/wine64 # Debian's 64-bit loader
wine32=/usr/lib/wine/wine   # Debian's 32-bit loader (package wine32:i386)

# can_run_32: whether Wine's 32-bit loader is installed and this machine runs it.
can_run_32() {
  if [ ! -e "$wine32" ] && [ -e "$wine64" ]; then
    echo "wine-run: no 32-bit Wine (Debian package wine32:i386 is not installed)" >&2
    return 1
  fi
  if [ -e "$wine32" ] && ! out=$("$wine32" --version 2>&1); then
    echo "wine-run: this machine cannot run Wine's 32-bit loader ($wine32: ${out:-no output}); the kernel runs no 32-bit programs (IA-32 emulation off?)" >&2
    return 1
  fi
  return 0
}

# is_pe32 FILE: whether FILE is a 32-bit (i386) Windows program.
is_pe32() {
  [ -f "$1" ] || return 1
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$at" ] || return 1
  [ "$(od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')" = 014c ]
}

if [ "${1:-}" = --can-run-32 ]; then
  can_run_32 || exit 77
  exit 0
fi
mkdir -p "$(dirname "$WINEPREFIX")"
if is_pe32 "$1"; then
  can_run_32 || exit 77
  [ -e "$wine32" ] && exec "$wine32" "$@"
  exec wine "$@"
fi
if [ -x "$wine64" ]; then
  : "${WINELOADER:=$wine64}"
  export WINELOADER
  exec "$wine64" "$@"
fi
exec wine "$@"
