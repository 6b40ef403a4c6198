# The Debian package: both modes of the receiver, the simulators and the
# dispatcher, the demo data, and the systemd unit that runs the receiver
# headless as its own user on /var/lib/atalaia. scripts/package builds it.
include(GNUInstallDirs)
install(TARGETS atalaia tavi-sim station-sim disp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/demo/ DESTINATION ${CMAKE_INSTALL_DATADIR}/atalaia/demo)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/atalaia.service DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/atalaia)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME atalaia)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "IP alarm-receiving server for security monitoring companies")
set(CPACK_PACKAGE_CONTACT "Atalaia <atalaia@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # atalaia_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_SOURCE_DIR}/packaging/prerm ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
