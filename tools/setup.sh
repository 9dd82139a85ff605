#!/usr/bin/env bash
# Brings a fresh Debian machine to the point where everything builds: installs the packages
# that are missing, then configures and builds the presets named on the command line
# (default: all of them).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64
          iproute2 util-linux procps)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux linux-asan linux-tsan fuzz win64 win32)
for preset in "${presets[@]}"; do
  echo "setup: configure and build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
