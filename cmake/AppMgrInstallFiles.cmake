# Install-time part of cmake/AppMgrInstall.cmake, for the files whose text
# depends on where they are installed. Included by cmake_install.cmake with
# APPMGR_SOURCE_DIR, APPMGR_HEADER_DIR and APPMGR_DOC_DIR set;
# CMAKE_INSTALL_PREFIX is then the prefix the files will live under, and
# DESTDIR (a package's staging root) is put in front of it.

# Writes TEXT to the installed file REL (relative to the prefix) unless it
# already holds it, and records it in the install manifest.
function(appmgr_install_text rel text)
  set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${rel}")
  set(old "")
  if(EXISTS "${path}")
    file(READ "${path}" old)
  endif()
  if(old STREQUAL text)
    message(STATUS "Up-to-date: ${path}")
  else()
    message(STATUS "Installing: ${path}")
    file(WRITE "${path}" "${text}")
  endif()
  set(CMAKE_INSTALL_MANIFEST_FILES ${CMAKE_INSTALL_MANIFEST_FILES} "${path}" PARENT_SCOPE)
endfunction()

# Public headers: an include of another public header ("platform/X.h")
# becomes relative to the including header ("../platform/X.h"), so it finds
# its sibling in the same installed tree whatever the include path holds.
set(folders AppMgr platform store host)
list(JOIN folders "|" alternatives)
foreach(folder IN LISTS folders)
  file(GLOB headers RELATIVE "${APPMGR_SOURCE_DIR}/include" "${APPMGR_SOURCE_DIR}/include/${folder}/*.h")
  foreach(header IN LISTS headers)
    file(READ "${APPMGR_SOURCE_DIR}/include/${header}" text)
    string(REGEX REPLACE "#include \"(${alternatives})/" "#include \"../\\1/" text "${text}")
    appmgr_install_text("${APPMGR_HEADER_DIR}/${header}" "${text}")
  endforeach()
endforeach()

# The systemd unit and the sysusers snippet, in the folders systemd reads
# under the prefix, naming the installed appmgrd and README.
file(READ "${APPMGR_SOURCE_DIR}/examples/appmgrd.service" unit)
string(REPLACE "/usr/local/bin/appmgrd" "${CMAKE_INSTALL_PREFIX}/bin/appmgrd" unit "${unit}")
string(REGEX REPLACE "\nDocumentation=[^\n]*" "\nDocumentation=man:appmgrd(8) file://${CMAKE_INSTALL_PREFIX}/${APPMGR_DOC_DIR}/README.md"
       unit "${unit}")
appmgr_install_text("lib/systemd/system/appmgrd.service" "${unit}")
file(READ "${APPMGR_SOURCE_DIR}/examples/appmgrd.sysusers.conf" sysusers)
appmgr_install_text("lib/sysusers.d/appmgrd.conf" "${sysusers}")
