# Shared part of the MinGW-w64 cross toolchains: include after setting QBFX_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR. The posix thread model gives std::thread and std::mutex; the top-level
# CMakeLists links libgcc, libstdc++ and winpthread statically so the DLL needs only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QBFX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QBFX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QBFX_MINGW_TRIPLE}-windres)
# Libraries built for the target (libpng, FreeType for the editor) can live under QBFX_MINGW_PREFIX.
set(CMAKE_FIND_ROOT_PATH /usr/${QBFX_MINGW_TRIPLE} ${QBFX_MINGW_PREFIX})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QBFX_MINGW_PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# ctest runs the test programs through wine when it is there. Debian's `wine` always starts the
# 32-bit loader first, which machines without 32-bit support cannot run: 64-bit programs go
# straight to the 64-bit loader.
if(QBFX_MINGW_TRIPLE MATCHES "^x86_64")
  find_program(QBFX_WINE NAMES wine64 wine PATHS /usr/lib/wine)
else()
  find_program(QBFX_WINE NAMES wine)
endif()
if(QBFX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QBFX_WINE})
endif()
