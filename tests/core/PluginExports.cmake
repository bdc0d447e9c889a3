# Checks that a plug-in library exports exactly the names of EXPECTED
# (default: xFilter alone).
#   cmake -DNM=<nm> -DPLUGIN=<FL-Fabx.so> [-DEXPECTED=<name,name...>] -P PluginExports.cmake
if(NOT DEFINED EXPECTED)
  set(EXPECTED xFilter)
endif()
string(REPLACE "," ";" EXPECTED "${EXPECTED}")
execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${PLUGIN}: ${errors}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
list(SORT EXPECTED)
if(NOT names STREQUAL EXPECTED)
  message(FATAL_ERROR "${PLUGIN} exports [${names}], not [${EXPECTED}]")
endif()
message(STATUS "${PLUGIN} exports [${EXPECTED}] only")
