# Installing Sayri, and the Debian package made from the same install with
# CPack (scripts/package): the executable, whisper-server when setup built one,
# the desktop entry, hicolor icons drawn from the artwork, the AppStream
# metainfo, the licence texts and the udev rule for the paste keyboard. The
# version is the project's.
include(GNUInstallDirs)

# Each Debian release gets a package of its own, built on that release
# against its libraries: sayri_0.1.0~deb12_amd64.deb, sayri_0.1.0~deb13_amd64.deb.
set(SAYRI_PACKAGE_VERSION ${PROJECT_VERSION})
if(EXISTS /etc/os-release)
  file(STRINGS /etc/os-release os_id REGEX "^ID=")
  file(STRINGS /etc/os-release os_version REGEX "^VERSION_ID=")
  string(REGEX REPLACE "^VERSION_ID=\"?([0-9]+).*" "\\1" os_version "${os_version}")
  if(os_id STREQUAL "ID=debian" AND os_version MATCHES "^[0-9]+$")
    set(SAYRI_PACKAGE_VERSION "${PROJECT_VERSION}~deb${os_version}")
  endif()
endif()
set(CMAKE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/sayri)

set(SAYRI_SCREENSHOT_URL "https://sayri.example/images/settings.png"
    CACHE STRING "Address of the screenshot the AppStream metainfo names")
# AppStream names a program by the reversed domain of its maker.
set(SAYRI_APPSTREAM_ID "io.github.sayri.Sayri" CACHE STRING "AppStream component id")
string(TIMESTAMP SAYRI_RELEASE_DATE "%Y-%m-%d" UTC)
set(metainfo ${CMAKE_BINARY_DIR}/packaging/${SAYRI_APPSTREAM_ID}.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/packaging/sayri.metainfo.xml.in ${metainfo} @ONLY)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS sayri RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Built by scripts/setup next to sayri; a build without it still packages.
install(PROGRAMS ${CMAKE_BINARY_DIR}/src/whisper-server DESTINATION ${CMAKE_INSTALL_LIBDIR}/sayri OPTIONAL)
install(CODE "
  set(server \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/sayri/whisper-server\")
  if(EXISTS \"\${server}\")
    execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded \"\${server}\")
  endif()")
install(FILES ${CMAKE_SOURCE_DIR}/resources/sayri.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The paste keyboard on Wayland desktops without a virtual-keyboard protocol.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/70-sayri-uinput.rules DESTINATION lib/udev/rules.d)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/licenses DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The application icon: the logo artwork, scalable and drawn at the usual sizes.
set(logo ${CMAKE_SOURCE_DIR}/resources/icons/logo_mark.svg)
install(FILES ${logo} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME sayri.svg)
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  set(pngs "")
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}/sayri.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${logo}
      DEPENDS ${logo} VERBATIM)
    list(APPEND pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(sayri_icons ALL DEPENDS ${pngs})
endif()

# The changelog and the manual page Debian expects in every package.
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/packaging/changelog
  "sayri (${SAYRI_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
  "  * Sayri ${PROJECT_VERSION}, build ${SAYRI_BUILD_NUMBER}.\n\n"
  " -- Sayri developers <sayri@sayri.example>  ${changelog_date}\n")
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/packaging/changelog > ${changelog}
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(sayri_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(manpage ${CMAKE_BINARY_DIR}/packaging/sayri.1.gz)
add_custom_command(OUTPUT ${manpage}
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/sayri.1 > ${manpage}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/sayri.1 VERBATIM)
add_custom_target(sayri_manpage ALL DEPENDS ${manpage})
install(FILES ${manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
# cpack builds nothing itself: scripts/package builds what the package holds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(CPACK_PACKAGE_NAME sayri)
set(CPACK_PACKAGE_VERSION ${SAYRI_PACKAGE_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Sayri developers <sayri@sayri.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "local Japanese dictation for Linux desktops")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Double-tap the trigger key in any application, speak, tap once more: the\n"
  "recognised text is pasted where you were typing. Speech is recognised on\n"
  "this machine by whisper.cpp, steered by a personal dictionary.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Sayri reaches a Wayland window's surface through Qt's private platform
# interface, whose ABI holds for one Qt version only: the package depends on
# that version's ABI, as Debian's own packages built on private Qt API do,
# under the name Qt's core library gives it on this release
# (qt6-base-abi on Debian 12, qt6-base-private-abi on Debian 13).
execute_process(COMMAND dpkg-query -W -f=\${Provides}\n "libqt6core6*" OUTPUT_VARIABLE qt_provides ERROR_QUIET)
string(REGEX MATCH "qt6-base(-private)?-abi \\(= [^)]+\\)" qt_abi "${qt_provides}")
if(NOT qt_abi)
  set(qt_abi "qt6-base-abi (= ${Qt6Core_VERSION})")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${qt_abi}")
# Qt's SVG icon engine draws the icons of the desktop's theme; from Debian 13 on
# it is a package of its own, which no library dependency names.
execute_process(COMMAND dpkg-query -W -f=\${Status} qt6-svg-plugins OUTPUT_VARIABLE svg_plugins ERROR_QUIET)
if(svg_plugins MATCHES "install ok installed")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-svg-plugins")
endif()
# Not libraries, but what a Japanese desktop program wants beside it: the
# fonts, Qt's own texts in Japanese, the accessibility bus for screen hints,
# and Qt's Wayland platform, on which Sayri's windows run in a sway session.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n, at-spi2-core, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
