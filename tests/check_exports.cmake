# The module's dynamic symbol table holds exactly the names of EXPECTED
# (comma-separated, each with its version as nm shows it: mexFunction@@MEX),
# and the caller program reaches those of FLAVOR by name.
execute_process(COMMAND nm -D --defined-only ${MODULE} OUTPUT_VARIABLE syms RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${syms}")
set(exported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* +[A-Za-z] +" "" name "${line}")
  if(NOT name STREQUAL "MEX")          # the version definition itself
    list(APPEND exported "${name}")
  endif()
endforeach()
string(REPLACE "," ";" expected "${EXPECTED}")
list(SORT expected)
list(SORT exported)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported symbols: ${exported} (expected exactly ${expected})")
endif()
message(STATUS "exports: ${exported}")

execute_process(COMMAND ${CALLER} ${MODULE} ${FLAVOR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "calling the exports of ${MODULE} by name failed")
endif()
