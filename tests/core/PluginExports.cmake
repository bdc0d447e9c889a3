# Checks that the plug-in library exports xFilter and nothing else.
#   cmake -DNM=<nm> -DPLUGIN=<FL-Fabx.so> -P PluginExports.cmake
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
if(NOT names STREQUAL "xFilter")
  message(FATAL_ERROR "${PLUGIN} exports [${names}], not only xFilter")
endif()
message(STATUS "${PLUGIN} exports xFilter only")
