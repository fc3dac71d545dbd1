# The Windows backend and the plug-in DLL. Included by src/CMakeLists.txt when cross-compiling.
enable_language(RC)

add_library(fadecrest_win32 STATIC
  platform/win32/module.cpp
  platform/win32/resources.cpp
  platform/win32/surface.cpp
  platform/win32/window.cpp
  platform/win32/input.cpp
  platform/win32/droptarget.cpp
  ${platform_shared}
)
target_include_directories(fadecrest_win32 PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# msimg32 is loaded at run time, never linked.
target_link_libraries(fadecrest_win32 PUBLIC user32 gdi32 ole32 shell32)
target_compile_definitions(fadecrest_win32 PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)

# The three pictures as resources of type "PNG"; every program that loads them links this object.
configure_file(${PROJECT_SOURCE_DIR}/resources/pictures.rc.in ${CMAKE_CURRENT_BINARY_DIR}/pictures.rc @ONLY)
add_library(fadecrest_pictures OBJECT ${CMAKE_CURRENT_BINARY_DIR}/pictures.rc)
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/pictures.rc APPEND PROPERTY OBJECT_DEPENDS
  ${PROJECT_SOURCE_DIR}/resources/background.png ${PROJECT_SOURCE_DIR}/resources/knob.png
  ${PROJECT_SOURCE_DIR}/resources/about.png)

# Exports exactly VSTPluginMain and, for older hosts, the same function as "main" (fadecrest.def).
add_library(fadecrest MODULE host/entry.cpp host/fadecrest.def)
target_link_libraries(fadecrest PRIVATE fadecrest_pictures fadecrest_common fadecrest_win32)
set_target_properties(fadecrest PROPERTIES
  PREFIX ""
  OUTPUT_NAME fadecrest
  SUFFIX .dll
  LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
target_link_options(fadecrest PRIVATE -Wl,--no-undefined)
