# Checks the module table reader: each malformed file must stop it with its
# file and line named; a good one must give the expected header.
#   cmake -DSOURCE_DIR=<repo> -DWORK=<dir> -P module_tables_check.cmake
set(reader ${SOURCE_DIR}/cmake/module_tables.cmake)
file(MAKE_DIRECTORY ${WORK})
set(failures 0)

# name | file content (lines joined by \n) | expected message (regex)
set(rows
  "no_vendor|A 0001|modules.txt: no 'vendor' line"
  "short_code|vendor 1D6B\\nA 001|modules.txt:2: '001' is not four hex digits"
  "not_hex|vendor 1D6B\\n# fine\\n\\nB 00G1|modules.txt:4: '00G1' is not four hex digits"
  "unknown|vendor 1D6B\\nC 0001|modules.txt:2: unknown keyword 'C'"
  "two_vendors|vendor 1D6B\\nvendor 1D6C|modules.txt:2: vendor given twice"
  "extra_word|vendor 1D6B\\nA 0001 0002|modules.txt:2: expected"
  "long_vendor|vendor 1D6B0|modules.txt:1: '1D6B0' is not four hex digits")
# 21 entries in table A
set(many "vendor 1d6b")
foreach(i RANGE 1 21)
  string(APPEND many "\\nA 00${i}")
  if(i LESS 10)
    string(APPEND many "0")
  endif()
endforeach()
list(APPEND rows "too_many|${many}|modules.txt:22: table A has more than 20 entries")

foreach(row IN LISTS rows)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 name)
  list(GET fields 1 content)
  list(GET fields 2 expected)
  string(REPLACE "\\n" "\n" content "${content}")
  file(MAKE_DIRECTORY ${WORK}/${name})
  file(WRITE ${WORK}/${name}/modules.txt "${content}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DMODULES_FILE=${WORK}/${name}/modules.txt
                          -DHEADER=${WORK}/${name}/out.h -P ${reader}
                  RESULT_VARIABLE result ERROR_VARIABLE error OUTPUT_QUIET)
  string(REGEX REPLACE "[ \n]+" " " error "${error}")  # CMake wraps long messages
  if(result EQUAL 0 OR NOT error MATCHES "${expected}")
    message(SEND_ERROR "${name}: expected failure '${expected}', got (${result}) ${error}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

# A good file, keywords and digits in any case, comments after entries.
file(WRITE ${WORK}/good.txt "Vendor 1d6b  # example\nA 0a01\nb 0B01\r\na 00ff\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DMODULES_FILE=${WORK}/good.txt
                        -DHEADER=${WORK}/good.h -P ${reader}
                RESULT_VARIABLE result ERROR_VARIABLE error)
file(READ ${WORK}/good.h header)
if(NOT result EQUAL 0 OR NOT header MATCHES "\"1D6B\",\n +{{\"0A01\", \"00FF\", }},\n +{{\"0B01\", }},")
  message(SEND_ERROR "good file: (${result}) ${error}\n${header}")
  math(EXPR failures "${failures} + 1")
endif()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} module table checks failed")
endif()
