# The editor's pictures, compiled into the plug-in as resources of type "PNG". Included by
# src/CMakeLists.txt, so the generated source belongs to the directory of the library.
set(picture_entries
  PNG 128 ${CMAKE_CURRENT_LIST_DIR}/background.png
  PNG 129 ${CMAKE_CURRENT_LIST_DIR}/knob.png
  PNG 140 ${CMAKE_CURRENT_LIST_DIR}/about.png)
set(picture_files
  ${CMAKE_CURRENT_LIST_DIR}/background.png
  ${CMAKE_CURRENT_LIST_DIR}/knob.png
  ${CMAKE_CURRENT_LIST_DIR}/about.png)
set(embedded_source ${CMAKE_CURRENT_BINARY_DIR}/resources/embedded_resources.cpp)
# Runs on the building machine, which is the one the library is for (the Windows DLL carries its
# pictures as resources of its own).
add_executable(fadecrest-pack ${CMAKE_CURRENT_LIST_DIR}/pack.cpp)
target_link_libraries(fadecrest-pack PRIVATE PkgConfig::ZSTD)
add_custom_command(
  OUTPUT ${embedded_source}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${embedded_source} -DPACK=$<TARGET_FILE:fadecrest-pack>
          "-DENTRIES=${picture_entries}" -P ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
  DEPENDS ${picture_files} ${CMAKE_CURRENT_LIST_DIR}/embed.cmake fadecrest-pack
  COMMENT "Embedding the editor pictures"
  VERBATIM)
set(FADECREST_EMBEDDED_RESOURCES ${embedded_source})
