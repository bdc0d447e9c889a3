# Checks that fablix.so exports the frei0r functions and nothing else.
#   cmake -DNM=<nm> -DPLUGIN=<fablix.so> -P Frei0rExports.cmake
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
set(expected f0r_construct f0r_deinit f0r_destruct f0r_get_param_info f0r_get_param_value
    f0r_get_plugin_info f0r_init f0r_set_param_value f0r_update)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${PLUGIN} exports [${names}], not [${expected}]")
endif()
message(STATUS "${PLUGIN} exports the frei0r functions only")
