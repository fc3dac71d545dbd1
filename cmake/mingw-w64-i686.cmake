# 32-bit Windows, for 32-bit hosts. The compiler's default x87 arithmetic rounds differently from
# the 64-bit build in the last bit; SSE2, which every x86 processor a host runs on has, gives the
# same samples.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
set(FADECREST_WINEARCH win32)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
