# cmake -DOUT=<file> "-DFILES=<a>|<b>|..." -P checksums.cmake
# Writes the files' SHA-256 sums in the format `sha256sum -c` reads.
set(text "")
string(REPLACE "|" ";" files "${FILES}")
foreach(file IN LISTS files)
  if(file STREQUAL "")
    continue()
  endif()
  file(SHA256 "${file}" sum)
  get_filename_component(name "${file}" NAME)
  string(APPEND text "${sum}  ${name}\n")
endforeach()
file(WRITE "${OUT}" "${text}")
