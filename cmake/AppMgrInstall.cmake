# Installation. Everything lands under one prefix:
#   lib/        libappmgrlsn, libappmgr_platform, libappmgr_store and
#               libappmgr_client, each as libNAME.so.1.0.0 with the SONAME
#               libNAME.so.1 and the libNAME.so link for the linker;
#               pkgconfig/NAME.pc for each, cmake/AppMgrListener/ (the CMake
#               package, version-checked), systemd/system/appmgrd.service
#               and sysusers.d/appmgrd.conf
#   include/appmgr/{AppMgr,platform,store,host}/   the public headers
#   bin/        appmgrd, appmgr
#   share/man/  appmgr(1), appmgrd(8); share/bash-completion/ for appmgr;
#   share/doc/appmgrlsn/   README, docs/ and examples/
# cmake/AppMgrPackage.cmake turns the same rules into a Debian package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(APPMGR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/AppMgrListener)
set(APPMGR_INSTALL_HEADERDIR ${CMAKE_INSTALL_INCLUDEDIR}/appmgr)

# The client library is built static for appmgrd, appmgr and the tests;
# consumers get a shared library of the same objects, which exports the
# appmgr namespace only (not the Asio and OpenSSL glue compiled into it).
add_library(appmgr_client_shared SHARED $<TARGET_OBJECTS:appmgr_client>)
target_link_libraries(appmgr_client_shared PRIVATE OpenSSL::SSL Threads::Threads)
target_link_options(appmgr_client_shared PRIVATE -Wl,--no-undefined
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/AppMgrClientExports.map)
target_include_directories(appmgr_client_shared INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(appmgr_client_shared PROPERTIES
  OUTPUT_NAME appmgr_client EXPORT_NAME appmgr_client LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/host
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/AppMgrClientExports.map)

# The SONAME carries the major version: a release that breaks the ABI
# raises it. The libraries find each other beside themselves.
set(APPMGR_SHARED_LIBRARIES appmgrlsn appmgr_platform appmgr_store appmgr_client_shared)
set_target_properties(${APPMGR_SHARED_LIBRARIES} PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} INSTALL_RPATH "$ORIGIN")

install(TARGETS ${APPMGR_SHARED_LIBRARIES}
  EXPORT AppMgrListenerTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT AppMgrListenerTargets NAMESPACE AppMgr:: DESTINATION ${APPMGR_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/AppMgrListenerConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/AppMgrListenerConfig.cmake
  INSTALL_DESTINATION ${APPMGR_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/AppMgrListenerConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/AppMgrListenerConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/AppMgrListenerConfigVersion.cmake
  DESTINATION ${APPMGR_INSTALL_CMAKEDIR})

# One pkg-config file per library. It finds the prefix relative to itself,
# so an installed tree may move.
file(RELATIVE_PATH APPMGR_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
function(appmgr_pkg_config name description requires)
  set(PC_NAME ${name})
  set(PC_DESCRIPTION ${description})
  set(PC_REQUIRES ${requires})
  configure_file(cmake/appmgr.pc.in ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
appmgr_pkg_config(appmgrlsn "Application-manager listener library" appmgr_platform)
appmgr_pkg_config(appmgr_platform "The listener library's platform layer: runtime services and database classes"
  appmgr_store)
appmgr_pkg_config(appmgr_store
  "The application manager's configuration store (memory, SQLite, PostgreSQL) and its JSON tree" "")
appmgr_pkg_config(appmgr_client "Client library of appmgrd, the application-manager listener host" "")

# The public headers go under include/appmgr, with the includes between
# them made relative as they are installed (cmake/AppMgrInstallFiles.cmake),
# so that <appmgr/host/AppMgrClient.h> needs no include path of ours and a
# host/ or platform/ folder of another project cannot stand in for ours.
# The unit and the sysusers snippet name the prefix they are installed to.
install(CODE "
  set(APPMGR_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(APPMGR_HEADER_DIR \"${APPMGR_INSTALL_HEADERDIR}\")
  set(APPMGR_DOC_DIR \"${CMAKE_INSTALL_DOCDIR}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/AppMgrInstallFiles.cmake\")")

install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} PATTERN man EXCLUDE)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

if(TARGET appmgrd)
  install(TARGETS appmgrd appmgr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES completion/appmgr DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  # Manual pages from --help and --version, with the sections --help does
  # not hold (environment, files, signals, see also) from docs/man/,
  # compressed as Debian ships them.
  find_program(HELP2MAN help2man)
  if(HELP2MAN)
    set(pages)
    foreach(page appmgr.1 appmgrd.8)
      string(REGEX REPLACE "\\.([0-9])$" "" program ${page})
      set(section ${CMAKE_MATCH_1})
      set(include ${PROJECT_SOURCE_DIR}/docs/man/${program}.h2m)
      set(out ${CMAKE_CURRENT_BINARY_DIR}/man/${page})
      add_custom_command(OUTPUT ${out}.gz
        COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=${section} --include=${include}
                --output=${out} $<TARGET_FILE:${program}>
        COMMAND gzip -9 -n -f ${out}
        DEPENDS ${program} ${include}
        COMMENT "Generating the manual page ${page}"
        VERBATIM)
      list(APPEND pages ${out}.gz)
      install(FILES ${out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    endforeach()
    add_custom_target(appmgr_man ALL DEPENDS ${pages})
  else()
    message(WARNING "help2man not found: appmgr(1) and appmgrd(8) are not built (scripts/install-deps.sh installs it)")
  endif()
endif()

include(cmake/AppMgrPackage.cmake)
