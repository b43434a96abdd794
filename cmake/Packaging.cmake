# Installation and the Debian package: the program, its desktop entry and its icon in the usual places.
# `cpack -G DEB` in a build folder makes tarrowin_<version>_<arch>.deb.
include(GNUInstallDirs)

install(TARGETS tarrowin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/tarrowin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tarrowin.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarrowin)
set(CPACK_PACKAGE_VENDOR Pembrid)
set(CPACK_PACKAGE_CONTACT "Pembrid <tarrowin@pembrid.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Watches the local network for unfamiliar devices")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarrowin probes the addresses of the chosen adapter's IPv4 subnet every few minutes, keeps every \
device it has seen in a local database and reports the devices not marked as known.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as Qt plugins, so no linked library names them: the SVG icons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
include(CPack)
