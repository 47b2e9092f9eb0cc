# cmake -DNM=<nm> -DLIBRARY=<OvMultiLang.dll> -P check_exports.cmake
# Fails unless the dynamic symbol table defines exactly the two entry points.
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" entries "${symbols}")
set(names)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${entry}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
if(NOT names STREQUAL "OvGetLangName;OvTranslateStr")
  message(FATAL_ERROR "unexpected exports of ${LIBRARY}: ${names}")
endif()
message(STATUS "exports: ${names}")
