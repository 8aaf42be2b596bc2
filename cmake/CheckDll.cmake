# Checks a built Windows DLL with objdump: its export table names `main` and nothing else, and it
# imports system DLLs only (the runtime is linked in).
#   cmake -DOBJDUMP=<objdump> -DDLL=<file> -P CheckDll.cmake
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" names "${dump}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" entries "${names}")   # not the heading
set(exports "")
foreach(entry ${entries})
  string(REGEX REPLACE "\t\\[ *[0-9]+\\] " "" name "${entry}")
  list(APPEND exports "${name}")
endforeach()
if(NOT exports STREQUAL "main")
  message(FATAL_ERROR "exports of ${DLL}: '${exports}', expected main alone")
endif()

set(system_dlls KERNEL32.dll msvcrt.dll USER32.dll GDI32.dll ADVAPI32.dll SHELL32.dll ole32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
set(imports "")
foreach(line ${lines})
  string(REPLACE "DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  list(APPEND imports "${name}")
  if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
    message(FATAL_ERROR "${DLL} needs ${name}, which Windows does not provide")
  endif()
endforeach()
message(STATUS "${DLL}: exports main; imports ${imports}")
