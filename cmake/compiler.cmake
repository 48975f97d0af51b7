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
    add_compile_options(/GR- /EHs-c- /Gy)
    add_compile_definitions(_HAS_EXCEPTIONS=0)
    add_link_options(/OPT:REF /OPT:ICF)
    # Exploit mitigations, stated rather than left to the defaults: stack
    # cookies, Control Flow Guard, ASLR, DEP, and for x86 only images whose
    # exception handlers are all listed in their SafeSEH table.
    add_compile_options(/GS /guard:cf)
    add_link_options(/guard:cf /DYNAMICBASE /NXCOMPAT)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      add_link_options(/SAFESEH)
    endif()
  else()
    add_compile_options(-fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
                        -fno-asynchronous-unwind-tables)
    # Reproducible output: no link time in the PE header (ld would write the
    # current time, and the checksum with it), no build paths in __FILE__.
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                        -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
    add_link_options(-static -Wl,--gc-sections -Wl,--no-insert-timestamp)
    # Exploit mitigations of every image. A stack canary in every function
    # with a local array (the fixed 256- and 260-byte buffers filled from
    # device ids, registry values and paths). The shipped programs define its
    # guard and failure routine themselves (common/win/startup.cpp), so no
    # part of libssp is linked into them; test programs link libssp's. ASLR
    # and DEP stated, not left to binutils' defaults. A header that names
    # Windows 7, which the programs require: an image that names an older
    # version gets the platform's compatibility behaviours.
    add_compile_options(-fstack-protector-strong)
    add_link_options(-fstack-protector-strong -Wl,--dynamicbase -Wl,--nxcompat
                     -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,1
                     -Wl,--major-os-version,6 -Wl,--minor-os-version,1)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      # NO_SEH: Windows then dispatches to no exception handler inside the
      # image, so an overwritten exception record cannot point into it. That
      # holds nothing back: i686 GCC unwinds with DWARF tables, the code is
      # built without exceptions, and the runtime's top-level filter
      # (SetUnhandledExceptionFilter) is not a frame handler. No image
      # registers a frame handler: none writes %fs:0 (objdump -d).
      add_link_options(-Wl,--no-seh)
    else()
      add_link_options(-Wl,--high-entropy-va)
    endif()
    if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
      add_link_options(-s)
    endif()
  endif()
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()
