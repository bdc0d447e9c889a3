# Checks that the plug-in library, the stand-in host services and the test
# host are ELF files of the build's target, with objdump: "elf32-i386" in
# the 32-bit build, so that its tests run the 32-bit layout and not a
# program of the build machine.
#   cmake -DOBJDUMP=<objdump> -DFORMAT=<elf32-i386|elf64-x86-64> -DFILES=<file,file...> -P PluginLibrary.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" FILES "${FILES}")
set(failures)
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${OBJDUMP} -f ${file}
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(APPEND failures "${OBJDUMP} failed on ${file}: ${errors}")
  elseif(NOT listing MATCHES "file format ([^\n]+)\n")
    list(APPEND failures "${file}: no file format")
  elseif(NOT CMAKE_MATCH_1 STREQUAL FORMAT)
    list(APPEND failures "${file} is ${CMAKE_MATCH_1}, not ${FORMAT}")
  endif()
endforeach()
if(failures)
  string(REPLACE ";" "; " failures "${failures}")
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "${FORMAT}: ${FILES}")
