#!/usr/bin/env bash
# release.sh: builds the two releases and packs them into build/release/, the archives a Windows
# user takes to the simulator PC: kivfsx-<version>-win32.zip (the i686 build, preset win32, for
# the simulators whose SimConnect library is 32-bit: FSX, and Prepar3D and MSFS through the FSX
# SP2 library) and kivfsx-<version>-win64.zip (the x86_64 build, preset win64, for a 64-bit
# SimConnect library such as MSFS's own).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh win32 win64
version=$(sed -n 's/^project(kivfsx VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p build/release
tools/check-release.sh i686-w64-mingw32-objdump build/win32/kivfsx.exe
tools/pack-release.sh build/win32/kivfsx.exe "$version" build/release win32
tools/check-release.sh x86_64-w64-mingw32-objdump build/win64/kivfsx.exe
tools/pack-release.sh build/win64/kivfsx.exe "$version" build/release win64
