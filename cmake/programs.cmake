# bindora_program(name [VERSION_RESOURCE] SOURCES ... LIBS ...): one shipping
# executable in bin/, its size printed after every link. VERSION_RESOURCE
# adds a version resource with the project version (U.S. English, Unicode).
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

function(bindora_program name)
  cmake_parse_arguments(ARG "VERSION_RESOURCE" "" "SOURCES;LIBS" ${ARGN})
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
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${name}> -P ${PROJECT_SOURCE_DIR}/cmake/print_size.cmake
    VERBATIM)
endfunction()
