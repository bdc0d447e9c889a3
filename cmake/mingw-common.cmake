# What both mingw-w64 toolchains share; FABLIX_MINGW_TRIPLE names the target.
# The compilers of the posix thread model give the standard library its
# threads and mutexes (GoogleTest needs them); the run time, winpthread
# included, is linked statically (cmake/Windows.cmake), so the image imports
# only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${FABLIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FABLIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FABLIX_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${FABLIX_MINGW_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${FABLIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
