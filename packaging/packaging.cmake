# How Quillfen is packed for people who do not build it: a Debian package
# (`cpack -G DEB`) of a Linux build configured with
# -DCMAKE_INSTALL_PREFIX=/usr, and a ZIP archive (`cpack -G ZIP`) of the
# MinGW build for Windows. Each holds whatever the build installs, so a
# module appears in the packages as soon as the build makes it.
# packaging/make-release.sh makes the whole set. Included by the top
# CMakeLists.txt before the parts, so that their install rules see the
# Windows layout set here.

set(QUILLFEN_PACKAGE_MAINTAINER "The Quillfen developers <maintainers@users.noreply.c-seed-a54cad02.example>"
    CACHE STRING "Name and address written as the Debian package's Maintainer")

if(WIN32)
  # On Windows the install is the unpacked archive: the command at its top,
  # each module in a folder named for the host or the option that takes it,
  # the sample clip beside them.
  set(CMAKE_INSTALL_BINDIR . CACHE PATH "Where quillfen.exe goes")
  set(CMAKE_INSTALL_LIBDIR . CACHE PATH "Where the folders of the modules go")
  set(CMAKE_INSTALL_DATAROOTDIR . CACHE PATH "Where the folder of the sample clip goes")
elseif(CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$"
       AND EXISTS /etc/debian_version)
  # Debian's multiarch folder, which GNUInstallDirs gives a native build for
  # /usr but not a cross build: there hosts of the target look for modules.
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

# Every package carries the licence: Windows users find it beside the
# README; on Debian it is the copyright file, in Debian's machine-readable
# form, its licence text read from LICENSE.
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  # The README's page for Windows users, where its link finds it.
  install(FILES ${PROJECT_SOURCE_DIR}/docs/windows.md DESTINATION docs)
else()
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE licence_lines)
  list(FILTER licence_lines INCLUDE REGEX "^Copyright \\(c\\) ")
  string(REGEX REPLACE "^Copyright \\(c\\) " "" quillfen_copyright "${licence_lines}")
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE licence_lines)
  list(FILTER licence_lines EXCLUDE REGEX "^(MIT License|Copyright .*)$")
  set(quillfen_licence_text "")
  set(paragraph_started FALSE)
  foreach(line IN LISTS licence_lines)
    if(line STREQUAL "")
      # A blank line inside a field is written as a lone dot.
      if(paragraph_started)
        string(APPEND quillfen_licence_text " .\n")
      endif()
    else()
      string(APPEND quillfen_licence_text " ${line}\n")
      set(paragraph_started TRUE)
    endif()
  endforeach()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${PROJECT_BINARY_DIR}/packaging/copyright @ONLY)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillfen)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${doc_dir})
endif()

set(CPACK_PACKAGE_NAME quillfen)
set(CPACK_PACKAGE_VENDOR "the Quillfen developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "luma-guided chroma filter for video")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME quillfen-${PROJECT_VERSION}-win64)
  # Unpacks into one folder of the archive's name.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLFEN_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
  # After the summary, which cpack writes as its first line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillfen recomputes the chroma of every frame from the chroma of its
neighbours, each weighted by how alike their luma is, and keeps the luma
exactly: colour noise settles inside the objects the luma outlines and
stops bleeding across luma edges. YUV 4:2:0, 4:2:2 and 4:4:4 at 8 to 16
bits.

This package holds the quillfen command, which filters Y4M files and pipes
(for instance between two ffmpeg runs) on every processor, and the
Quillfen modules that the build found the headers of: for AviSynth+
(autoloaded from its plugin folder under /usr), for VapourSynth, and the
AviSynth 2.5 module that the quillfen command loads. AviSynth+ and
VapourSynth are not in Debian; the modules wait for a host installed
under /usr.")
  # A cross build packs for its target: the Debian architecture of the
  # toolchain's multiarch triplet; dpkg-shlibdeps reads its Depends from
  # the target's libraries (Debian's multiarch packages, such as
  # libpng-dev:arm64).
  if(CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE)
    execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
  endif()
  # The Debian-only parts of the package's tree (compressed manual pages,
  # the changelog) are made on the staged tree, not installed by
  # `cmake --install`.
  string(TIMESTAMP CPACK_QUILLFEN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(CPACK_QUILLFEN_DOC_DIR ${doc_dir})
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian_tree.cmake)
endif()
include(CPack)
