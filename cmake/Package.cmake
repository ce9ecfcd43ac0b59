# The Debian package: the program and its help file in /usr/lib/pelumir (the
# program finds the help beside itself), a link in /usr/bin, the desktop entry
# the icon at every size we draw and the AppStream metainfo. Built by scripts/package.sh.
include(GNUInstallDirs)

# The decoder process beside the program, where the program looks for it.
install(TARGETS pelumir pelumir-decoder RUNTIME DESTINATION lib/pelumir)
install(FILES resources/pelumir.hlp DESTINATION lib/pelumir)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/deb-files)
file(CREATE_LINK ../lib/pelumir/pelumir ${CMAKE_CURRENT_BINARY_DIR}/deb-files/pelumir SYMBOLIC)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/deb-files/pelumir DESTINATION bin)
install(FILES resources/pelumir.desktop DESTINATION share/applications)
# What software centres show of the program.
install(FILES resources/org.example.pelumir.metainfo.xml DESTINATION share/metainfo)
foreach(icon IN LISTS PELUMIR_ICONS)
  string(REGEX MATCH "pelumir-([0-9]+)\\.png$" _ ${icon})
  install(FILES ${icon} DESTINATION share/icons/hicolor/${CMAKE_MATCH_1}x${CMAKE_MATCH_1}/apps RENAME pelumir.png)
endforeach()

# Debian wants the copyright and a compressed changelog in the package's doc
# folder, and a manual page for every command.
install(FILES resources/debian/copyright DESTINATION share/doc/pelumir)
find_program(GZIP gzip REQUIRED)
# Both carry the version, filled in from the one place it is kept.
foreach(doc changelog pelumir.1)
  configure_file(resources/debian/${doc}.in ${CMAKE_CURRENT_BINARY_DIR}/deb-files/${doc} @ONLY)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/deb-files/${doc}.gz
    COMMAND ${GZIP} -9nc ${CMAKE_CURRENT_BINARY_DIR}/deb-files/${doc} > ${CMAKE_CURRENT_BINARY_DIR}/deb-files/${doc}.gz
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/deb-files/${doc})
  list(APPEND PELUMIR_PACKAGE_DOCS ${CMAKE_CURRENT_BINARY_DIR}/deb-files/${doc}.gz)
endforeach()
add_custom_target(pelumir_package_docs ALL DEPENDS ${PELUMIR_PACKAGE_DOCS})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/deb-files/changelog.gz DESTINATION share/doc/pelumir)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/deb-files/pelumir.1.gz DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelumir)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image slideshow viewer with a Japanese user interface")
# CPack puts the summary in front as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Pelumir collects image files and folders in a list and shows every JPEG and
BMP file of it full screen on black, shrunk to fit and centred, in list,
reverse or random order, by mouse click or automatically.
.
Settings and the default list are kept in ~/.config/pelumir.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pelumir developers <pelumir@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The linked libraries (Qt, ICU, X11 for the program; libjpeg-turbo, libpng, libwebp, giflib, libtiff, libexif,
# libseccomp for its decoder) come from dpkg-shlibdeps;
# Qt's X11 platform plugin ships in libqt6gui6, which the program links. What
# is only loaded at run time is named here: libheif and libjxl, opened when
# the first such file shows (at the versions the functions we call need;
# libheif brings its HEVC and AV1 decoders, libde265, libdav1d and libaom, as
# its own dependencies), a Japanese font, so the interface never shows boxes, and the
# colour emoji font file names fall back to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libheif1 (>= 1.13.0), libjxl0.7 (>= 0.7.0), fonts-ipafont-gothic | fonts-noto-cjk")
# libc-l10n: the system's reasons quoted in error boxes, in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, libc-l10n, fonts-urw-base35, fonts-noto-color-emoji")
include(CPack)
