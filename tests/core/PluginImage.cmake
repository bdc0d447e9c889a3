# Checks the Windows image as a file, with the cross toolchain's objdump:
# its kind (PE32 for the 32-bit build, PE32+ for the 64-bit one), the
# export directory's DLL name "FL-Fabx.rvp", exactly the exports xFilter
# and the dialogs' VantorelDlgProc and MakeDlgProc under their plain names,
# and imports of system DLLs and REELINFO.dll only (the C and C++ run time
# linked in).
#   cmake -DOBJDUMP=<objdump> -DIMAGE=<FL-Fabx.rvp> -DMAGIC=<PE32|PE32+> -P PluginImage.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${IMAGE}
  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${IMAGE}: ${errors}")
endif()

set(failures)
string(REPLACE "+" "\\+" magic_pattern "${MAGIC}")
if(NOT listing MATCHES "\nMagic[ \t]+[0-9a-f]+[ \t]+\\(${magic_pattern}\\)")
  list(APPEND failures "not a ${MAGIC} image")
endif()
if(NOT listing MATCHES "\nName[ \t]+[0-9a-f]+ FL-Fabx\\.rvp\n")
  list(APPEND failures "the export directory does not name FL-Fabx.rvp")
endif()

# The export name table lies between "[Ordinal/Name Pointer] Table" and the
# next empty line.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${listing}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" exports "${table}")
list(TRANSFORM exports REPLACE "^\t\\[ *[0-9]+\\] " "")
set(expected_exports MakeDlgProc VantorelDlgProc xFilter)
if(NOT exports STREQUAL expected_exports)
  list(APPEND failures "exports [${exports}], not [${expected_exports}]")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${listing}")
list(TRANSFORM imports REPLACE "^DLL Name: " "")
list(TRANSFORM imports TOUPPER)
set(system_dlls KERNEL32.DLL USER32.DLL GDI32.DLL MSVCRT.DLL ADVAPI32.DLL COMDLG32.DLL SHELL32.DLL
  LZ32.DLL)  # the compressed-file copy of the Build command
foreach(dll IN LISTS imports)
  if(NOT dll IN_LIST system_dlls AND NOT dll STREQUAL "REELINFO.DLL")
    list(APPEND failures "imports ${dll}")
  endif()
endforeach()
if(NOT "REELINFO.DLL" IN_LIST imports)
  list(APPEND failures "does not import REELINFO.dll")
endif()

if(failures)
  string(REPLACE ";" "; " failures "${failures}")
  message(FATAL_ERROR "${IMAGE}: ${failures}")
endif()
message(STATUS "${IMAGE}: ${MAGIC}, exports [${exports}] as FL-Fabx.rvp, imports [${imports}]")
