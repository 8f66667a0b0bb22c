# The Debian package, built from the install rules of the build tree:
#   cpack -G DEB --config BUILD/CPackConfig.cmake -B OUTDIR
# One package, appmgrlsn: programs, libraries, headers, pkg-config and CMake
# files, manual pages, bash completion, the systemd unit, the sysusers
# snippet, docs and examples, all under /usr. Its dependencies come from
# dpkg-shlibdeps (package dpkg-dev); it declares the shared libraries it
# provides (shlibs); packaging/postinst runs ldconfig and makes the user.
set(CPACK_PACKAGE_NAME appmgrlsn)
set(CPACK_PACKAGE_VENDOR "appmgrlsn developers")
set(CPACK_PACKAGE_CONTACT "appmgrlsn developers <appmgrlsn@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Application-manager listener library and its network host")
set(CPACK_PACKAGE_DESCRIPTION
    "The application-manager listener library with its platform layer and configuration store \
(SQLite, PostgreSQL), appmgrd (the host that serves it over TCP, TLS or a Unix socket, with a \
systemd unit) and appmgr (its command line and store administration); headers, pkg-config and \
CMake files to build against the libraries and the client library.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
