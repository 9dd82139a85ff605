#!/usr/bin/env bash
# pack-release.sh KIVFSX_EXE VERSION OUT_DIR [ARCH]
# Packs kivfsx-VERSION-ARCH.zip in OUT_DIR: the program (ARCH win32, the default: the i686
# build; win64: the x86_64 build) and the guide for the simulator PC (with CR LF line ends, as
# Notepad wants them), then checks what the archive holds.
set -euo pipefail
exe=$1 version=$2 out=$3 arch=${4:-win32}
here=$(cd "$(dirname "$0")" && pwd)
zip="$(cd "$out" && pwd)/kivfsx-$version-$arch.zip"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/kivfsx.exe"
sed 's/\r*$/\r/' "$here/release/KivFSX-guide.txt" > "$stage/KivFSX-guide.txt"
rm -f "$zip"
(cd "$stage" && zip -q -X "$zip" kivfsx.exe KivFSX-guide.txt)

# The check: exactly these two files; the guide all CR LF; the program carries its version.
check=$(mktemp -d)
trap 'rm -rf "$stage" "$check"' EXIT
(cd "$check" && unzip -q "$zip")
[ "$(cd "$check" && ls | tr '\n' ' ')" = "KivFSX-guide.txt kivfsx.exe " ] || { echo "unexpected files in $zip"; exit 1; }
if grep -q $'[^\r]$' "$check/KivFSX-guide.txt" || grep -q $'^$' "$check/KivFSX-guide.txt"; then
  echo "the guide has a line without CR LF"; exit 1
fi
strings -el "$check/kivfsx.exe" | grep -qx "$version" || { echo "kivfsx.exe has no version resource $version"; exit 1; }
strings -el "$check/kivfsx.exe" | grep -qx "KivFSX" || { echo "kivfsx.exe has no product name"; exit 1; }
machine=$(od -An -tx1 -j "$(( $(od -An -tu4 -j 60 -N 4 "$check/kivfsx.exe") + 4 ))" -N 2 "$check/kivfsx.exe" | tr -d ' ')
case "$arch:$machine" in
  win32:4c01|win64:6486) ;;
  *) echo "kivfsx.exe is not a $arch program (machine $machine)"; exit 1 ;;
esac
echo "packed $zip: kivfsx.exe (version $version) and KivFSX-guide.txt"
