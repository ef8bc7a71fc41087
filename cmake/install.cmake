# Installation beyond the programs themselves, and the Debian package.
#
# The programs and the usage page have their install rules beside their targets (app/, cli/).
# This file adds what a desktop needs to show the window in its menu (the .desktop file, the
# icon in the hicolor theme, the AppStream metainfo), the manual page of trawler-cli, and
# the CPack set-up for `scripts/package`. The installed tree looks like the build tree's
# bin/ and share/, so the window finds its usage page at ../share/trawler/ in both.

# One id names the desktop entry and the metainfo component; software centres join the two
# through it.
set(TRAWLER_APP_ID "io.github.trawler.Trawler")

configure_file(${PROJECT_SOURCE_DIR}/docs/trawler-cli.1.in
               ${PROJECT_BINARY_DIR}/share/man/man1/trawler-cli.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/share/man/man1/trawler-cli.1 DESTINATION share/man/man1)

if(TARGET trawler)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TRAWLER_APP_ID}.desktop
          DESTINATION share/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TRAWLER_APP_ID}.metainfo.xml
          DESTINATION share/metainfo)

  # The icon: the SVG for desktops that scale it, and PNGs rendered from it at build time
  # for those that look up fixed sizes. Rendering at build time keeps the PNGs in step with
  # the SVG, which the window also shows as its own icon.
  set(icon_svg ${PROJECT_SOURCE_DIR}/app/trawler.svg)
  install(FILES ${icon_svg} DESTINATION share/icons/hicolor/scalable/apps)

  find_program(TRAWLER_RSVG_CONVERT rsvg-convert)
  if(NOT TRAWLER_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert renders the PNG icons: install the Debian package "
                        "librsvg2-bin, or configure with -DTRAWLER_BUILD_GUI=OFF")
  endif()
  set(icon_pngs "")
  foreach(size 16 32 48 64 128 256)
    set(dir share/icons/hicolor/${size}x${size}/apps)
    set(png ${PROJECT_BINARY_DIR}/${dir}/trawler.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/${dir}
      COMMAND ${TRAWLER_RSVG_CONVERT} --width ${size} --height ${size} --format png
              --output ${png} ${icon_svg}
      DEPENDS ${icon_svg}
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    list(APPEND icon_pngs ${png})
    install(FILES ${png} DESTINATION ${dir})
  endforeach()
  add_custom_target(trawler_icons DEPENDS ${icon_pngs})
  # Whoever builds the window also gets the icons that its installation needs.
  add_dependencies(trawler trawler_icons)
endif()

# The Debian package: `cpack -G DEB` in a build directory, or `scripts/package`.
set(TRAWLER_PACKAGE_MAINTAINER "trawler developers <trawler@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trawler)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search torrent index sites for a keyword")
# The long description, in lines that fit the 80 columns of package tools.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "trawler searches three torrent index sites for a keyword and lists the hits:"
  "name, size, date and link. A click on a hit shows its download address, ready"
  "to copy. The package holds the window, trawler, and the same search for the"
  "terminal, trawler-cli.")
set(CPACK_PACKAGE_CONTACT "${TRAWLER_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps reads the libraries the programs are linked against and names the Debian
# packages that hold them, with their minimum versions (Qt, libcurl, PCRE2, ICU, the C++
# runtime). What is loaded at run time without being linked is named here: Qt's X11
# platform plugin, without which the window cannot open.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET trawler)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # The captions are Chinese: without a CJK font they show as boxes. The SVG image plugin
  # draws the window's own icon; without it the window still works.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, libqt6svg6")
endif()
include(CPack)
