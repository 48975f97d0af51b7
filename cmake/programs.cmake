# bindora_program(name [VERSION_RESOURCE] [SYSTEM_DLLS_ONLY] SOURCES ... LIBS ...):
# one shipping executable in bin/, its size printed after every link.
# VERSION_RESOURCE adds a version resource with the project version (U.S.
# English, Unicode). SYSTEM_DLLS_ONLY restricts the DLL search to the system
# folder before anything else runs, for programs started from folders others
# can write to.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# bindora_entry(target [SYSTEM_DLLS_ONLY]): starts the target at the entry
# point of common/win/startup.cpp, which seeds the stack protector's guard
# (MinGW) and, if asked, restricts the DLL search before the C runtime runs.
function(bindora_entry target)
  cmake_parse_arguments(ARG "SYSTEM_DLLS_ONLY" "" "" ${ARGN})
  if(ARG_SYSTEM_DLLS_ONLY)
    set(entry BindoraSystemDllsEntry)
  elseif(MSVC)
    return()
  else()
    set(entry BindoraEntry)
  endif()
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:startup>)
  if(MSVC)
    target_link_options(${target} PRIVATE /ENTRY:${entry})
  else()
    # i686 names C functions with a leading underscore.
    target_link_options(${target} PRIVATE
      -Wl,-e,$<$<EQUAL:${CMAKE_SIZEOF_VOID_P},4>:_>${entry})
  endif()
endfunction()

function(bindora_program name)
  cmake_parse_arguments(ARG "VERSION_RESOURCE;SYSTEM_DLLS_ONLY" "" "SOURCES;LIBS" ${ARGN})
  set(sources ${ARG_SOURCES})
  if(ARG_VERSION_RESOURCE)
    string(REPLACE "." "," version_commas "${PROJECT_VERSION}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc @ONLY)
    list(APPEND sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc)
  endif()
  add_executable(${name} WIN32 ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  bindora_warnings(${name})
  if(ARG_SYSTEM_DLLS_ONLY)
    bindora_entry(${name} SYSTEM_DLLS_ONLY)
  else()
    bindora_entry(${name})
  endif()
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${name}> -P ${PROJECT_SOURCE_DIR}/cmake/print_size.cmake
    VERBATIM)
endfunction()
