# Cross-compiling for Windows with Debian's MinGW-w64 (GCC, posix thread model: the win32 model has
# no std::thread or std::mutex). Everything is linked statically, so the binaries import only
# system DLLs and run on a Windows machine with nothing else installed. Included by the toolchain
# file of each processor, which sets CMAKE_SYSTEM_PROCESSOR, MINGW_TRIPLET and FADECREST_WINEARCH.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# libpng has no MinGW package in Debian: scripts/setup.sh builds it into this prefix, outside the
# checkout, so every build tree and every CI run on this machine reuses it.
set(FADECREST_MINGW_PREFIX "$ENV{HOME}/.cache/fadecrest/mingw-${CMAKE_SYSTEM_PROCESSOR}" CACHE PATH
  "Libraries built for MinGW")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} ${FADECREST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib comes as a static and an import library; only the static one keeps the DLL self-contained.
set(ZLIB_LIBRARY /usr/${MINGW_TRIPLET}/lib/libz.a CACHE FILEPATH "zlib for MinGW, static")
set(ZLIB_INCLUDE_DIR /usr/${MINGW_TRIPLET}/include CACHE PATH "zlib headers for MinGW")

set(static_runtime "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${static_runtime}")

# ctest runs the Windows programs under Wine, each in a fresh prefix of the processor's kind and on
# a virtual display.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEARCH=${FADECREST_WINEARCH} ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-prefix.sh run)
