# cmake -DOBJDUMP=<objdump> -DIMAGE=<dll/exe> -DEXPORTS=<a,b> \
#       -DALLOWED_IMPORTS=<x.dll,y.dll> -P check_pe_image.cmake
#
# Lists are comma-separated: a ';' inside an add_test() argument reaches the
# script as a literal "\;".
#
# Fails unless the image's export names equal EXPORTS exactly and every
# imported DLL is in ALLOWED_IMPORTS (compared case-insensitively: linkers
# write "KERNEL32.dll" or "kernel32.dll" depending on the import library).
cmake_minimum_required(VERSION 3.20) # script mode: gives if(IN_LIST) and friends
foreach(v OBJDUMP IMAGE)
  if(NOT ${v})
    message(FATAL_ERROR "check_pe_image: ${v} not set")
  endif()
endforeach()
if(NOT EXISTS "${IMAGE}")
  message(FATAL_ERROR "check_pe_image: ${IMAGE} does not exist")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${IMAGE}"
                OUTPUT_VARIABLE dump ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_pe_image: ${OBJDUMP} -p failed (${rc}): ${err}")
endif()
if(NOT dump MATCHES "file format pei-x86-64")
  message(FATAL_ERROR "check_pe_image: ${IMAGE} is not a PE32+ x86-64 image")
endif()

# objdump's text contains '[', ']' and possibly ';', all of which change how
# CMake splits lists. Neutralise them before turning lines into a list.
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "[" "<" dump "${dump}")
string(REPLACE "]" ">" dump "${dump}")
string(REPLACE "\r" "" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

set(exports)
set(imports)
set(in_names FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^<Ordinal/Name Pointer> Table")
    set(in_names TRUE)
  elseif(in_names)
    if(line MATCHES "^[ \t]*<[ \t]*[0-9]+>[ \t]+([^ \t]+)")
      list(APPEND exports "${CMAKE_MATCH_1}")
    else()
      set(in_names FALSE)
    endif()
  elseif(line MATCHES "^[ \t]*DLL Name:[ \t]*([^ \t]+)")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    list(APPEND imports "${dll}")
  endif()
endforeach()

string(REPLACE "," ";" EXPORTS "${EXPORTS}")
string(REPLACE "," ";" ALLOWED_IMPORTS "${ALLOWED_IMPORTS}")

set(problems)
set(want ${EXPORTS})
list(SORT want)
list(SORT exports)
list(JOIN exports ", " got_text)
list(JOIN want ", " want_text)
if(NOT "${exports}" STREQUAL "${want}")
  list(APPEND problems "exports are {${got_text}}, expected {${want_text}}")
endif()

string(TOLOWER "${ALLOWED_IMPORTS}" allowed)
list(REMOVE_DUPLICATES imports)
foreach(dll IN LISTS imports)
  if(NOT dll IN_LIST allowed)
    list(APPEND problems "imports ${dll}, which is not allowed")
  endif()
endforeach()
if(NOT imports)
  list(APPEND problems "no imports found; objdump output not understood")
endif()

if(problems)
  string(REPLACE ";" "\n  " problems "${problems}")
  message(FATAL_ERROR "${IMAGE}:\n  ${problems}")
endif()
list(JOIN imports ", " imports_text)
message(STATUS "${IMAGE}: exports {${got_text}}, imports {${imports_text}}")
