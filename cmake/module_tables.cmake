# Reads the launcher's product configuration (vendor code and the two module
# tables) and writes it as a C++ header. Any malformed line stops the
# configure with the file and line named.
#
#   bindora_module_tables(<modules.txt> <header>)
#   cmake -DMODULES_FILE=<modules.txt> -DHEADER=<header> -P module_tables.cmake
set(BINDORA_MODULE_SLOTS 20)

function(bindora_module_tables input output)
  if(NOT EXISTS "${input}")
    message(FATAL_ERROR "${input}: module table file not found")
  endif()
  file(READ "${input}" content)
  # Keep list separators in comments from splitting lines.
  string(REPLACE ";" "," content "${content}")
  string(REPLACE "\r" "" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")

  set(vendor "")
  set(a_codes "")
  set(b_codes "")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REGEX REPLACE "#.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    set(where "${input}:${number}")
    if(NOT line MATCHES "^([A-Za-z]+)[ \t]+([^ \t]+)$")
      message(FATAL_ERROR "${where}: expected '<vendor|A|B> <four hex digits>', got '${line}'")
    endif()
    set(word "${CMAKE_MATCH_1}")
    set(digits "${CMAKE_MATCH_2}")
    string(TOUPPER "${word}" keyword)
    string(TOUPPER "${digits}" code)
    if(NOT code MATCHES "^[0-9A-F][0-9A-F][0-9A-F][0-9A-F]$")
      message(FATAL_ERROR "${where}: '${digits}' is not four hex digits")
    endif()
    if(keyword STREQUAL "VENDOR")
      if(NOT vendor STREQUAL "")
        message(FATAL_ERROR "${where}: vendor given twice")
      endif()
      set(vendor "${code}")
    elseif(keyword STREQUAL "A" OR keyword STREQUAL "B")
      string(TOLOWER "${keyword}" table)
      list(LENGTH ${table}_codes count)
      if(count EQUAL BINDORA_MODULE_SLOTS)
        message(FATAL_ERROR "${where}: table ${keyword} has more than ${BINDORA_MODULE_SLOTS} entries")
      endif()
      list(APPEND ${table}_codes "${code}")
    else()
      message(FATAL_ERROR "${where}: unknown keyword '${word}'")
    endif()
  endforeach()
  if(vendor STREQUAL "")
    message(FATAL_ERROR "${input}: no 'vendor' line")
  endif()

  foreach(table a b)
    set(${table}_init "")
    foreach(code IN LISTS ${table}_codes)
      string(APPEND ${table}_init "\"${code}\", ")
    endforeach()
  endforeach()
  set(text "// Generated from ${input}; edit that file, not this one.
#pragma once

#include \"core/hardware_id.h\"

constexpr core::ModuleConfig kModuleConfig = {
    \"${vendor}\",
    {{${a_init}}},
    {{${b_init}}},
};
")
  file(CONFIGURE OUTPUT "${output}" CONTENT "${text}" @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND MODULES_FILE AND HEADER)
  bindora_module_tables("${MODULES_FILE}" "${HEADER}")
endif()
