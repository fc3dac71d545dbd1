# The Debian package, fadecrest_VERSION_amd64.deb: what the install rules put under /usr, made by
# the build tree's `package` target (or `cpack -G DEB` there). Its dependencies are read from the
# binaries by dpkg-shlibdeps.
set(FADECREST_MAINTAINER "Corvenna <fadecrest@corvenna.example>")
set(FADECREST_DOC_DIR share/doc/fadecrest)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fadecrest)
set(CPACK_PACKAGE_VENDOR Corvenna)
set(CPACK_PACKAGE_CONTACT ${FADECREST_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VST 2.4 effect that makes preview copies of music with fade windows")
set(CPACK_PACKAGE_DESCRIPTION "\
Fadecrest lets a stereo signal pass unchanged for an interval of 1 to 60
seconds, then runs a fade window of 1 to 5 seconds in which the signal dips to
silence and comes back, over and over, so that a finished track can be handed
out as a preview copy.

The package holds the plug-in for Linux VST hosts such as Ardour and Audacity,
with its own editor, and fadecrest-render, a command-line host that renders
audio files through it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian-tidy.cmake)

# Debian's documents: the licence in its machine-readable form, and the changelog, which a package
# without a Debian revision (a native one) names changelog.gz, compressed as lintian asks.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" holder "${licence}")
set(holder ${CMAKE_MATCH_1})
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" licence "${licence}")
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" licence "${licence}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: Fadecrest\n"
  "Upstream-Contact: ${FADECREST_MAINTAINER}\n\n"
  "Files: *\nCopyright: ${holder}\nLicense: Expat\n ${licence}")
execute_process(COMMAND gzip -9nc INPUT_FILE ${PROJECT_SOURCE_DIR}/packaging/changelog
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/changelog)
install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
  ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${FADECREST_DOC_DIR})

include(CPack)
