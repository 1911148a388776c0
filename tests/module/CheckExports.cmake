cmake_minimum_required(VERSION 3.25)
# Run natively with cmake -P: -DDLL=<Korvel.dll> -DOBJDUMP=<the target's objdump>.
# The DLL must export exactly the five entry points under their ordinals and
# import nothing but system DLLs, so a host loads it with no runtime beside it.
set(expected_exports
  "1 DllCanUnloadNow"
  "2 DllGetClassObject"
  "3 DllRegisterServer"
  "4 _GetDeviceInfo@12"
  "5 _GetModuleInfo@8")
set(system_dlls advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll ws2_32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

string(REGEX MATCH "Ordinal Base[ \t]+([0-9]+)" _ "${dump}")
set(base ${CMAKE_MATCH_1})
# Entries of the name table are listed by their index from the ordinal base.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[ *[0-9]+\\] [^\n]+\n)*)" _ "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${CMAKE_MATCH_1}")
set(exports)
foreach(row IN LISTS rows)
  string(REGEX MATCH "\\[ *([0-9]+)\\] (.+)" _ "${row}")
  math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
  list(APPEND exports "${ordinal} ${CMAKE_MATCH_2}")
endforeach()
if(NOT exports STREQUAL expected_exports)
  message(FATAL_ERROR "exports:\n  ${exports}\nexpected:\n  ${expected_exports}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" import_rows "${dump}")
set(imports)
foreach(row IN LISTS import_rows)
  string(REGEX REPLACE "DLL Name: " "" name "${row}")
  string(TOLOWER "${name}" name)
  if(NOT name IN_LIST system_dlls)
    message(FATAL_ERROR "imports ${name}, which is not a system DLL")
  endif()
  list(APPEND imports ${name})
endforeach()
message(STATUS "exports: ${exports}; imports: ${imports}")
