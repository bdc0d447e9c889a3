# 32-bit Linux programs (preset linux32): i686-linux-gnu, Debian's cross
# compiler. The 32-bit C and C++ run times are those of the cross toolchain
# under /usr/i686-linux-gnu, not installed for the system's loader, so every
# program names that folder's loader and every program and library looks
# there first for the run time. Nothing else of the target is installed:
# what needs FFmpeg, libpng or Highway is left out of this build.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FABLIX_LINUX_TRIPLE i686-linux-gnu)
set(CMAKE_C_COMPILER ${FABLIX_LINUX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${FABLIX_LINUX_TRIPLE}-g++)
set(FABLIX_TARGET_ROOT /usr/${FABLIX_LINUX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${FABLIX_TARGET_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--dynamic-linker=${FABLIX_TARGET_ROOT}/lib/ld-linux.so.2 -Wl,-rpath,${FABLIX_TARGET_ROOT}/lib")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-rpath,${FABLIX_TARGET_ROOT}/lib")
