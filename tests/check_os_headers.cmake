# Only the backends under src/platform/<system>/ may include an operating-system header: the effect,
# the host interface, the editor, the toolkit, the seam and the shared platform code compile
# unchanged for every system.
# Run as: cmake -DSOURCE_DIR=<project>/src -P check_os_headers.cmake
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/host/* ${SOURCE_DIR}/effect/* ${SOURCE_DIR}/editor/* ${SOURCE_DIR}/vstgui/*
  ${SOURCE_DIR}/platform/shared/*)
file(GLOB seam RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/platform/*.h)
list(APPEND sources ${seam})
set(os_header "#[ \t]*include[ \t]*<(windows|windowsx|ole2|objbase|shellapi|shlobj|winuser|wingdi|X11/[^>]*|dlfcn|unistd|pthread|sys/[^>]*)\\.h>")
set(offenders)
foreach(source IN LISTS sources)
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "${os_header}")
  if(lines)
    list(APPEND offenders "${source}: ${lines}")
  endif()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " listing)
  message(FATAL_ERROR "operating-system headers outside src/platform/<system>/:\n  ${listing}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files free of operating-system headers")
