# Run by CPack once it has made the Debian package, which is then made again as Debian's policy
# asks: CPack gives a package with a shared object anywhere below /usr/lib maintainer scripts that
# run ldconfig, but a plug-in is opened by its path, not found by the dynamic linker, so they go;
# manual pages are compressed, and the list of checksums follows.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/debian-tidy)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)

  file(GLOB_RECURSE pages ${tree}/usr/share/man/*.[1-9])
  foreach(page IN LISTS pages)
    execute_process(COMMAND gzip -9n ${page} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/usr/*)
  list(SORT files)
  set(sums "")
  foreach(name IN LISTS files)
    file(MD5 ${tree}/${name} sum)
    string(APPEND sums "${sum}  ${name}\n")
  endforeach()
  file(WRITE ${tree}/DEBIAN/md5sums "${sums}")

  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
