# Run by CPack after it has built the packages: CPack's debug-symbol package
# lists its files in md5sums by their paths on the build machine and has no
# documentation folder. Rebuilt here as Debian makes them: md5sums by package
# path, symbol files not executable, /usr/share/doc/talery-dbgsym linking to
# the folder of talery (on which it depends, version for version).
set(ddebs ${CPACK_PACKAGE_FILES})
list(FILTER ddebs INCLUDE REGEX "-dbgsym_[^/]*\\.ddeb$")
foreach(ddeb IN LISTS ddebs)
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/dbgsym-fix")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb --raw-extract "${ddeb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE symbols LIST_DIRECTORIES false RELATIVE "${tree}" "${tree}/usr/*")
  file(WRITE "${tree}/DEBIAN/md5sums" "")
  foreach(f IN LISTS symbols)
    file(CHMOD "${tree}/${f}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(MD5 "${tree}/${f}" sum)
    file(APPEND "${tree}/DEBIAN/md5sums" "${sum}  ${f}\n")
  endforeach()
  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK talery "${tree}/usr/share/doc/talery-dbgsym" SYMBOLIC)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build "${tree}" "${ddeb}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
