# Run by cpack on the staged tree of the Debian package, before it is
# packed: what Debian asks of a package beyond the install itself.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
# AviSynth+ and VapourSynth installed under /usr look for plugins in
# /usr/lib/<multiarch>/..., which the build's paths name only when it was
# configured for /usr.
if(NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "A Debian package installs under /usr: configure the build with -DCMAKE_INSTALL_PREFIX=/usr "
                      "(it was ${CPACK_PACKAGING_INSTALL_PREFIX})")
endif()
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr")
if(NOT IS_DIRECTORY "${usr}")
  message(FATAL_ERROR "No staged tree at ${usr}")
endif()

# Manual pages compressed as Debian keeps them.
file(GLOB_RECURSE manual_pages "${usr}/share/man/*")
list(FILTER manual_pages EXCLUDE REGEX "\\.gz$")
foreach(page IN LISTS manual_pages)
  execute_process(COMMAND gzip -9n "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# The package's changelog, one entry for this version.
set(changelog "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_QUILLFEN_DOC_DIR}/changelog.Debian")
file(WRITE "${changelog}"
"quillfen (${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium

  * Quillfen ${CPACK_PACKAGE_VERSION}, packaged by its developers from their
    source tree (packaging/make-release.sh).

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${CPACK_QUILLFEN_CHANGELOG_DATE}
")
execute_process(COMMAND gzip -9nf "${changelog}" COMMAND_ERROR_IS_FATAL ANY)
