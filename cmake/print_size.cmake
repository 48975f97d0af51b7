file(SIZE "${FILE}" bytes)
get_filename_component(name "${FILE}" NAME)
math(EXPR kib "(${bytes} + 1023) / 1024")
message(STATUS "size: ${name} ${bytes} bytes (${kib} KiB)")
