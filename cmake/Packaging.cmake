# What "cmake --install" puts under the prefix; the Debian packages (debian/,
# built by scripts/package) divide it: atalaia-server takes the service, the
# simulators, the dispatcher and the demonstration data, atalaia-desktop the
# window executable. The unit, the sysctl setting and the manual pages are
# installed by debhelper.
include(GNUInstallDirs)
install(TARGETS atalaia atalaiad tavi-sim station-sim dc09-sim disp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/demo/ DESTINATION ${CMAKE_INSTALL_DATADIR}/atalaia/demo)
