# What ships. cmake/release.sh (./dev dist) packs the four programs exactly as
# built, README.md with its docs/ pages and SHA256SUMS over the programs into
# the release archive, signing the programs when the vendor's key is given.
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

set(BINDORA_PRODUCT_URL "https://bindora.example/camera"
    CACHE STRING "The product's web page, named in the programs' signatures")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(arch win32)
else()
  set(arch win64)
endif()
# What release.sh needs to know of this build, one key=value a line.
string(REPLACE ";" " " programs "${bindora_shipped}")
file(WRITE ${CMAKE_BINARY_DIR}/release.txt
"name=bindora-camera-${PROJECT_VERSION}-${arch}
programs=${programs}
product=Bindora camera companion software
url=${BINDORA_PRODUCT_URL}
source=${PROJECT_SOURCE_DIR}
")
