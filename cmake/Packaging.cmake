# Installation (cmake --install) and the Debian package (cpack -G DEB): the monitor, the
# sound check, the manual pages, the desktop entry and the icon in the hicolor sizes
# (installed from resources/).
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/app/man/ostrelin.1 ${PROJECT_SOURCE_DIR}/app/man/ostrelin-sound-check.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/app/ostrelin.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/packaging/probe-permission.sh
        DESTINATION ${CMAKE_INSTALL_DATADIR}/ostrelin)

# A plain install onto this machine settles the probe's permission at once; a staged one
# (DESTDIR, as cpack does) leaves it to the package's maintainer script, since file
# capabilities do not survive packing. Not being allowed to set it is no install failure:
# the script says what to do instead.
install(CODE "
  if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
    execute_process(COMMAND sh \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/ostrelin/probe-permission.sh
                            \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/ostrelin)
  endif()")

set(CPACK_PACKAGE_NAME ostrelin)
set(CPACK_PACKAGE_VENDOR "Ostrelin developers")
set(CPACK_PACKAGE_CONTACT "Ostrelin developers <dev@ostrelin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch the Internet connection and sound an alarm when it is lost")
set(CPACK_PACKAGE_DESCRIPTION "Ostrelin runs in a terminal, pings a public DNS resolver every few
seconds, shows a green all-well line or a red alarm line, and plays a short siren on
every failed pass.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The runtime libraries as dpkg-shlibdeps finds them from the binaries' NEEDED entries;
# where it is missing, the list it gives on Debian 12 (libvorbis and libogg come in through
# libvorbisfile3; libm is part of libc6).
find_program(OSTRELIN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(OSTRELIN_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6 (>= 2.34), libsdl2-2.0-0 (>= 2.0.12), libstdc++6 (>= 12), libvorbisfile3 (>= 1.1.2)")
endif()
# setcap, for the probe's permission where ping sockets are not allowed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/tools/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian ships binaries without their debugging sections.
set(CPACK_STRIP_FILES ON)
include(CPack)
