# The release archive (cmake --build --preset win32 --target package): the
# four programs exactly as built, README.md and SHA256SUMS over the programs.
set(bindora_shipped setup vantor snappulse rotasync)
set(checksum_files "")
foreach(program ${bindora_shipped})
  string(APPEND checksum_files "$<TARGET_FILE:${program}>|")
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/SHA256SUMS
  COMMAND ${CMAKE_COMMAND} -DOUT=${CMAKE_BINARY_DIR}/SHA256SUMS "-DFILES=${checksum_files}"
          -P ${PROJECT_SOURCE_DIR}/cmake/checksums.cmake
  DEPENDS ${bindora_shipped} ${PROJECT_SOURCE_DIR}/cmake/checksums.cmake
  VERBATIM)
add_custom_target(checksums ALL DEPENDS ${CMAKE_BINARY_DIR}/SHA256SUMS)

install(TARGETS ${bindora_shipped} RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/SHA256SUMS DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME bindora-camera)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(arch win32)
else()
  set(arch win64)
endif()
set(CPACK_PACKAGE_FILE_NAME "bindora-camera-${PROJECT_VERSION}-${arch}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/dist)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
