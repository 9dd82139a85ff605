#!/bin/sh
# Runs an i686 Linux program of the build: natively where this kernel runs 32-bit programs,
# otherwise under qemu-i386. Programs that the program itself starts (a relaunched instance)
# must run too, so under qemu-i386 the program runs in a user namespace of its own in which
# the kernel hands every i386 program to qemu-i386 (a binfmt_misc entry that lives only in that
# namespace; nothing on the host changes).
#   i686-run.sh PROGRAM [ARGS...]
#   i686-run.sh --how       prints how i686 programs run here: "natively" or "under qemu-i386";
#                           exit 77 with the reason on standard error when they cannot
set -eu
sysroot=/usr/i686-linux-gnu
loader=$sysroot/lib/ld-linux.so.2
qemu=$(command -v qemu-i386 || true)

# how: "natively", "qemu", or nothing (with the reason on standard error).
how() {
  if [ ! -x "$loader" ]; then
    echo "i686-run: no i686 runtime ($loader; Debian package g++-i686-linux-gnu)" >&2
  elif "$loader" --help >/dev/null 2>&1; then
    echo natively
  elif [ -n "$qemu" ]; then
    echo qemu
  else
    echo "i686-run: this kernel runs no 32-bit programs and qemu-i386 (Debian package qemu-user) is missing" >&2
  fi
}

mode=$(how)
if [ "${1:-}" = --how ]; then
  case "$mode" in
    natively) echo natively ;;
    qemu) echo "under qemu-i386" ;;
    *) exit 77 ;;
  esac
  exit 0
fi
case "$mode" in
  natively) exec "$@" ;;
  qemu) ;;
  *) exit 77 ;;
esac

if [ "${KIV_I686_NAMESPACE:-}" != 1 ]; then
  # Inside: root of a new user and mount namespace, with a binfmt_misc of its own.
  exec unshare --user --map-root-user --mount env KIV_I686_NAMESPACE=1 "$0" "$@"
fi
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
# i386 ELF executables (class 32, little-endian, e_machine 3), as Debian's qemu-user-binfmt
# names them (the kernel reads the \x escapes); F opens qemu-i386 now.
printf '%s' ':kiv-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
  >/proc/sys/fs/binfmt_misc/register
exec "$@"
