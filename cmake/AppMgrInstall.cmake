# Installation: the three shared libraries (listener, platform, store) and
# the client library, the public headers under include/appmgrlsn, appmgrd
# and appmgr, the CMake package AppMgrListener (imported targets
# AppMgr::appmgrlsn, AppMgr::appmgr_platform, AppMgr::appmgr_store,
# AppMgr::appmgr_client), pkg-config files for the listener library and for
# the store library alone, and examples (a systemd unit, a registry and the
# sample tree).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(APPMGR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/AppMgrListener)
set(APPMGR_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/appmgrlsn)

install(TARGETS appmgrlsn appmgr_platform appmgr_store appmgr_client
  EXPORT AppMgrListenerTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/appmgrlsn)
install(DIRECTORY include/AppMgr include/platform include/store include/host
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/appmgrlsn)
install(EXPORT AppMgrListenerTargets NAMESPACE AppMgr:: DESTINATION ${APPMGR_INSTALL_CMAKEDIR})

configure_package_config_file(cmake/AppMgrListenerConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/AppMgrListenerConfig.cmake
  INSTALL_DESTINATION ${APPMGR_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/AppMgrListenerConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/AppMgrListenerConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/AppMgrListenerConfigVersion.cmake
  DESTINATION ${APPMGR_INSTALL_CMAKEDIR})

# The .pc file finds the prefix relative to itself, so an installed tree may move.
file(RELATIVE_PATH APPMGR_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/appmgrlsn.pc.in ${CMAKE_CURRENT_BINARY_DIR}/appmgrlsn.pc @ONLY)
configure_file(cmake/appmgr_store.pc.in ${CMAKE_CURRENT_BINARY_DIR}/appmgr_store.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/appmgrlsn.pc ${CMAKE_CURRENT_BINARY_DIR}/appmgr_store.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET appmgrd)
  install(TARGETS appmgrd appmgr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES examples/appmgrd.service examples/appmgrd.sysusers.conf examples/appmgrd.conf examples/platform.ini examples/sample-tree.json
  DESTINATION ${APPMGR_INSTALL_DATADIR}/examples)
