# Run by CPack once the packages are written (CPACK_POST_BUILD_SCRIPTS).
# The debug-symbol package CPack makes needs three mends before Debian's
# checks accept it:
# - its md5sums name each file by CPack's scratch path, not by the path
#   inside the package;
# - it has no documentation folder: Debian's debug packages link theirs to
#   the main package's, which they depend on at the exact version;
# - the split debug files keep the programs' execute bits;
# - it must not carry the main package's maintainer scripts (the purge of
#   the driver library belongs to the program's package).
# The package is unpacked, mended and packed again under the same name.
find_program(KX_DPKG_DEB dpkg-deb REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.ddeb$")
    continue()
  endif()
  set(root ${CPACK_TOPLEVEL_DIRECTORY}/debug-package-mend)
  file(REMOVE_RECURSE ${root})
  execute_process(COMMAND ${KX_DPKG_DEB} --raw-extract ${package} ${root}
                  COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/usr/*)
  list(SORT files)
  set(sums "")
  foreach(file IN LISTS files)
    file(MD5 ${root}/${file} sum)
    string(APPEND sums "${sum}  ${file}\n")
    file(CHMOD ${root}/${file} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
  file(WRITE ${root}/DEBIAN/md5sums "${sums}")
  file(REMOVE ${root}/DEBIAN/postrm)
  file(MAKE_DIRECTORY ${root}/usr/share/doc)
  file(CREATE_LINK ${CPACK_PACKAGE_NAME} ${root}/usr/share/doc/${CPACK_PACKAGE_NAME}-dbgsym SYMBOLIC)
  file(REMOVE ${package})
  # gzip: xz would take minutes over the debug information on a busy machine.
  execute_process(COMMAND ${KX_DPKG_DEB} --root-owner-group -Zgzip --build ${root} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${root})
endforeach()
