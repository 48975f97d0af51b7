# Test build: 32-bit Windows with MinGW-w64's posix thread model, which
# GoogleTest needs (std::mutex). The programs under test come from the
# shipping build (mingw-i686.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
