# The Windows builds (presets win32 and win64): the image FL-Fabx.rvp with
# its resource script, the stand-in REELINFO.dll, and only the tests that
# drive them. Neither the fablix tool nor the benchmarks are built here.
enable_language(RC)

# The C and C++ run time linked in: the image imports only system DLLs and
# REELINFO.dll, and a host needs nothing else beside it.
add_link_options(-static -static-libgcc -static-libstdc++)

# Programs beside the DLLs they load, as Windows looks for them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# 64-bit programs run here under wine64 (32-bit ones cannot run at all):
# ctest runs the tests through cmake/wine64-run, which gives each program an
# Xvfb of its own and a prefix of its own, hard-linked from the one named
# here.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${PROJECT_SOURCE_DIR}/cmake/wine64-run ${CMAKE_BINARY_DIR}/wineprefix)
  set(FABLIX_WINDOWS_TESTS_RUN ON)
else()
  set(FABLIX_WINDOWS_TESTS_RUN OFF)
endif()

set(FABLIX_BENCHMARKS OFF CACHE BOOL "" FORCE)
set(FABLIX_FUZZ OFF CACHE BOOL "" FORCE)
