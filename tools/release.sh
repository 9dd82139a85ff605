#!/usr/bin/env bash
# release.sh: builds the i686 release (preset win32) and packs kivfsx-<version>-win32.zip into
# build/release/, the archive a Windows user takes to the simulator PC.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh win32
version=$(sed -n 's/^project(kivfsx VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p build/release
tools/pack-release.sh build/win32/kivfsx.exe "$version" build/release
