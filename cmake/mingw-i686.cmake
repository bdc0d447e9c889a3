# The 32-bit Windows image as the host loads it: i686-w64-mingw32.
set(FABLIX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
