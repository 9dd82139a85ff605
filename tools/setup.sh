#!/usr/bin/env bash
# Brings a fresh Debian machine to the point where the given presets build: installs the
# packages they need that are missing, then configures and builds each preset (default: all
# of them). With --packages first it only installs.
#   tools/setup.sh [--packages] [PRESET...]
set -euo pipefail
cd "$(dirname "$0")/.."

build=1
if [ "${1:-}" = --packages ]; then
  build=0
  shift
fi
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux linux-i686 linux-asan linux-tsan fuzz win64 win32)

# Native builds and tests use Debian's prebuilt GoogleTest, and the end-to-end tests decode
# captures with tshark; the Windows builds compile GoogleTest from Debian's sources with
# mingw-w64, and their tests (and the Linux end-to-end test of them) run under Wine, the i686
# build's under 32-bit Wine. The Linux i686 build (the release's x87 arithmetic on Linux) compiles
# GoogleTest from the same sources with Debian's i686 cross compiler; its tests run natively or
# under qemu-i386 (cmake/i686-run.sh).
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev tshark iproute2 util-linux procps)
for preset in "${presets[@]}"; do
  case "$preset" in
    # The hub's browser panel: its HTTP library, the browser its test drives, and the relay
    # that brings the demo's panel out of its private network to this host's loopback.
    linux) packages+=(pkg-config libcpp-httplib-dev chromium chromium-driver python3-selenium socat) ;;
    linux-i686) packages+=(g++-i686-linux-gnu qemu-user googletest) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    win64) packages+=(g++-mingw-w64-x86-64-posix googletest wine wine64) ;;
    win32) packages+=(g++-mingw-w64-i686-win32 zip unzip googletest wine wine64) ;;
  esac
done
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The i686 build's tests run under 32-bit Wine, from the archive's i386 half. When it cannot be
# installed (e.g. the archive out of step with the installed amd64 packages), its tests are
# skipped and say why (cmake/wine-run.sh); nothing else depends on it, so set-up goes on.
if [[ " ${presets[*]} " == *" win32 "* ]] &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "setup: installing wine32:i386 (32-bit Wine, for the i686 tests)"
  log=$(mktemp)
  if ! { $sudo dpkg --add-architecture i386 && $sudo apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-remove wine32:i386; } \
       >"$log" 2>&1; then
    echo "setup: wine32:i386 cannot be installed, the i686 tests will be skipped:"
    grep -E '^(E:|W:| )' "$log" | tail -n 5 | sed 's/^/setup:   /'
  fi
  rm -f "$log"
fi

[ $build = 1 ] || exit 0
for preset in "${presets[@]}"; do
  echo "setup: configure and build $preset"
  cmake --preset "$preset" >/dev/null
  # KIV_BUILD_TARGETS: only these targets instead of the preset's (test-all's i686 release
  # files where no 32-bit program runs).
  cmake --build --preset "$preset" ${KIV_BUILD_TARGETS:+--target $KIV_BUILD_TARGETS}
done
