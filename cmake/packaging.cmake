# What `cmake --install` lays out besides the tools, and the Debian
# package CPack makes of it. The tools install themselves (bin/) from their
# own folders; everything else a user needs is placed here, where other
# programs look for it: manual pages for man(1), the decoder and the ROM
# template under share/nes-tile-suite for a game's makefile to copy from.
include(GNUInstallDirs)

set(SUITE_PACKAGE nes-tile-suite)
set(SUITE_DATADIR ${CMAKE_INSTALL_DATADIR}/${SUITE_PACKAGE})
set(SUITE_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${SUITE_PACKAGE})

# Debian installs manual pages compressed with gzip -9n (no name, no time
# stamp, so the same page always gives the same bytes); man(1) reads them
# that way on any system, so every install gets the same files.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(suite_man_pages tilecut.1 tilefold.1 runsquash.1 tilepal.1 tileshow.1 tilefit.1
                    nes-tile-formats.5)
set(suite_man_compressed "")
foreach(page IN LISTS suite_man_pages)
  set(source ${PROJECT_SOURCE_DIR}/man/${page})
  set(compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${compressed}
    DEPENDS ${source}
    COMMENT "Compressing the manual page ${page}")
  list(APPEND suite_man_compressed ${compressed})
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${page})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${suite_man_compressed})

install(FILES ${PROJECT_SOURCE_DIR}/decoder/unrle.s DESTINATION ${SUITE_DATADIR}/decoder)
install(FILES ${PROJECT_SOURCE_DIR}/examples/rom/template.s ${PROJECT_SOURCE_DIR}/examples/rom/nrom128.cfg
        DESTINATION ${SUITE_DATADIR}/rom)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/rom/fit.sh DESTINATION ${SUITE_DATADIR}/rom)
# The README and the guide to the game's side; the code map is for whoever
# works on the tree and stays in it.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/NES.md
              ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${SUITE_DOCDIR})

# The Debian package: `cpack -G DEB` in the build folder. Its name, version
# and file name follow Debian's conventions: nes-tile-suite_0.1.0_amd64.deb.
set(SUITE_MAINTAINER "NES tile suite maintainers <maintainers@users.noreply.c-seed-db209bcb.example>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${SUITE_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SUITE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert pictures into NES background tiles and tables")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SUITE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the libraries the tools load (Allegro 4.4, libpng16,
# the C library). The C++ runtime is linked in statically on purpose (see
# tool_executable), so libstdc++6 rightly does not appear.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Command-line tools for homebrew Nintendo Entertainment System developers
that turn a picture drawn on a computer into background data, one job per
tool, meant to be run from makefiles:
 - tilecut cuts a paletted picture into 8x8 CHR tiles;
 - tilefold folds tiles into a set of at most 256 and a name table;
 - runsquash compresses a name table for the console to expand;
 - tilepal makes the palette and the attribute table of a picture;
 - tileshow draws tiles and tables back into a PNG picture to check;
 - tilefit makes any picture, true colour included, a legal NES screen.
The package also holds the 6502 routine that expands runsquash output
(ca65 syntax) and a template NROM-128 program that shows one screen.")
# A native package's changelog is required by Debian but means nothing to a
# plain `cmake --install`, so only the package gets one.
string(TIMESTAMP SUITE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
set(CPACK_SUITE_CHANGELOG ${PROJECT_BINARY_DIR}/debian/changelog)
set(CPACK_SUITE_GZIP ${GZIP_PROGRAM})
set(CPACK_SUITE_DOCDIR ${SUITE_DOCDIR})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/add_changelog.cmake)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/build-" "/node_modules/")
include(CPack)
