# The 32-bit REELINFO.dll exports its callback-convention routines
# (RvDrawThumb, "RvDrawThumb@8" to the compiler) under their plain names
# (--kill-at), as the host's library does. Its import library must still
# offer callers the decorated symbol and import the plain name: dlltool -k
# builds it from the exports that ld listed.
#   cmake -DDEF=<ld's .def> -DDLLTOOL=<dlltool> -DLIB=<import library> -P StdcallImportLibrary.cmake
cmake_minimum_required(VERSION 3.25)
file(READ ${DEF} exports)
# ld lists a renamed export as "Plain = Plain@n"; dlltool -k wants "Plain@n".
string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*) = ([A-Za-z_][A-Za-z0-9_]*@[0-9]+)" "\\2" exports "${exports}")
file(WRITE ${DEF}.decorated "${exports}")
execute_process(COMMAND ${DLLTOOL} --dllname REELINFO.dll --def ${DEF}.decorated --output-lib ${LIB} --kill-at
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dlltool failed to write ${LIB}")
endif()
