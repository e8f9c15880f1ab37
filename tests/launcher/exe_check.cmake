# Checks the built setup program as a file: cmake -DEXE=... -DPAYLOAD=a|b|... -DOBJDUMP=...
# -DWINDRES=... -P exe_check.cmake
#
# A 32-bit GUI program that needs only system DLLs, stripped, with the seven payload files as
# language-neutral FILE resources TEST1..TEST7, the manifest (type 24, id 1) asking for
# administrator rights, and a stub (the program without its payload) of at most 256 KiB.
set(limit 262144)

function(fail message)
  message(FATAL_ERROR "${EXE}: ${message}")
endfunction()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(rc)
  fail("objdump cannot read it")
endif()
if(NOT headers MATCHES "Subsystem[ \t]+00000002")
  fail("not a Windows GUI program")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOUPPER "${dll}" dll)
  if(NOT dll MATCHES "^(KERNEL32|USER32|SHELL32|MSVCRT|ADVAPI32)\\.DLL$")
    fail("imports ${dll}, which is not a system DLL")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -t ${EXE} OUTPUT_VARIABLE symbols)
if(NOT symbols MATCHES "no symbols")
  fail("not stripped")
endif()

execute_process(COMMAND ${WINDRES} -i ${EXE} -O rc OUTPUT_VARIABLE resources RESULT_VARIABLE rc)
if(rc)
  fail("windres cannot read its resources")
endif()
# The dump names each resource and states the language wherever it changes.
foreach(row RANGE 1 7)
  if(NOT resources MATCHES "\n\"TEST${row}\" \"FILE\"\n")
    fail("no FILE resource TEST${row}")
  endif()
endforeach()
string(REGEX MATCHALL "\nLANGUAGE [^\n]+" languages "${resources}")
list(REMOVE_DUPLICATES languages)
if(NOT languages STREQUAL "\nLANGUAGE 0, 0")
  fail("resources in other languages than neutral: ${languages}")
endif()
if(NOT resources MATCHES "\n1 24 /\\* RT_MANIFEST \\*/"
   OR NOT resources MATCHES "requireAdministrator"
   OR NOT resources MATCHES "name=\"\"Microsoft.Windows.Common-Controls\"\"")
  fail("no manifest asking for administrator rights and common controls 6")
endif()

file(SIZE ${EXE} exe_size)
string(REPLACE "|" ";" PAYLOAD "${PAYLOAD}")
set(payload_size 0)
foreach(file IN LISTS PAYLOAD)
  file(SIZE ${file} size)
  math(EXPR payload_size "${payload_size} + ${size}")
endforeach()
math(EXPR stub "${exe_size} - ${payload_size}")
message("stub ${stub} bytes: program ${exe_size} - payload ${payload_size}; limit ${limit}")
if(stub GREATER limit)
  fail("the stub is larger than ${limit} bytes")
endif()
