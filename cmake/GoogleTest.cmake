# GoogleTest from the source that Debian's googletest package installs,
# compiled by the cross compiler: the cross builds (win32, win64, linux32)
# have no GoogleTest library of their target to link.
macro(fablix_cross_build_googletest)
  set(FABLIX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # GoogleTest's pthread layer only where pthreads are the system's threads.
  if(WIN32)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  endif()
  add_subdirectory(${FABLIX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gtest ALIAS gtest)
  endif()
endmacro()
