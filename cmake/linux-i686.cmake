# Linux i686 cross build with Debian's g++-i686-linux-gnu and the POSIX backend: the release's
# arithmetic (doubles in the x87's 80-bit registers) on a host that need not run Windows or
# even 32-bit programs. Its tests run natively where the kernel runs 32-bit programs, and under
# qemu-i386 (Debian's qemu-user, whose x87 keeps 80-bit registers and precision control)
# where it does not: cmake/i686-run.sh chooses.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(KIV_I686_SYSROOT /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${KIV_I686_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# 64-bit file offsets and inode numbers: a 32-bit directory read fails on a file system (or an
# emulator) that hands out numbers beyond 32 bits.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
# The programs name the cross runtime's own loader and libraries, so they start without the
# host's i386 packages (natively) and without a library prefix (under qemu-i386).
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--dynamic-linker=${KIV_I686_SYSROOT}/lib/ld-linux.so.2 -Wl,-rpath,${KIV_I686_SYSROOT}/lib")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/i686-run.sh)
