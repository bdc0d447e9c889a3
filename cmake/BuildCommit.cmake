# Writes OUTPUT, a header naming the commit the source tree SOURCE was built
# from ("unknown" outside git, as from a source archive), with "-modified"
# when tracked files differ from it. Run at every build; the header is
# rewritten only when its text changes, so nothing rebuilds needlessly.
execute_process(COMMAND git -C "${SOURCE}" describe --always --dirty=-modified --abbrev=12 --exclude=*
                OUTPUT_VARIABLE commit RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(failed OR commit STREQUAL "")
  set(commit "unknown")
endif()
set(text "// Made by cmake/BuildCommit.cmake.\n#pragma once\n\nconstexpr const char* kFablixCommit = \"${commit}\";\n")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
