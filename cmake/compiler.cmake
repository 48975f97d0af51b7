# Warnings as errors on every toolchain, and the flags the shipping programs use.
function(bindora_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
    target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()

if(WIN32)
  # Programs stand alone: static runtime, no exceptions, no RTTI.
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  if(MSVC)
    add_compile_options(/GR- /EHs-c- /Gy /GS)
    add_compile_definitions(_HAS_EXCEPTIONS=0)
    add_link_options(/OPT:REF /OPT:ICF)
  else()
    add_compile_options(-fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
                        -fno-asynchronous-unwind-tables)
    # Reproducible output: no link time in the PE header (ld would write the
    # current time, and the checksum with it), no build paths in __FILE__.
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                        -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
    add_link_options(-static -Wl,--gc-sections -Wl,--no-insert-timestamp)
    if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
      add_link_options(-s)
    endif()
  endif()
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()
