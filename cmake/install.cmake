# Where `cmake --install` puts vesk, and the Debian package `cpack -G DEB`
# makes of the same tree. The version is the one of project().
include(GNUInstallDirs)

install(TARGETS vesk vesk-diff RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(NOT UNIX)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  return()
endif()

# Debian's layout: the licence as doc/vesk/copyright, the manual page
# compressed with gzip -9n (no name or time inside, so builds compare equal).
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

find_program(VESK_GZIP gzip REQUIRED)
set(VESK_MAN_PAGE ${PROJECT_BINARY_DIR}/vesk.1.gz)
add_custom_command(OUTPUT ${VESK_MAN_PAGE}
  COMMAND ${VESK_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/vesk.1 > ${VESK_MAN_PAGE}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/vesk.1
  COMMENT "Compressing the manual page")
add_custom_target(vesk_man_page ALL DEPENDS ${VESK_MAN_PAGE})
install(FILES ${VESK_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(VESK_DIFF_MAN_PAGE ${PROJECT_BINARY_DIR}/vesk-diff.1.gz)
add_custom_command(OUTPUT ${VESK_DIFF_MAN_PAGE}
  COMMAND ${VESK_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/vesk-diff.1 > ${VESK_DIFF_MAN_PAGE}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/vesk-diff.1
  COMMENT "Compressing the manual page of vesk-diff")
add_custom_target(vesk_diff_man_page ALL DEPENDS ${VESK_DIFF_MAN_PAGE})
install(FILES ${VESK_DIFF_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The changelog of a native package, in Debian's format and place.
set(VESK_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${VESK_CHANGELOG}
  COMMAND ${VESK_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/changelog > ${VESK_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/changelog
  COMMENT "Compressing the changelog")
add_custom_target(vesk_changelog ALL DEPENDS ${VESK_CHANGELOG})
install(FILES ${VESK_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME vesk)
set(CPACK_PACKAGE_VENDOR "The VESK developers")
# Debian wants a name and an address; the address is a placeholder until the
# project has one: set VESK_MAINTAINER when packaging for others.
set(VESK_MAINTAINER "The VESK developers <vesk@example.org>" CACHE STRING
  "Maintainer field of the Debian package: name <address>")
set(CPACK_PACKAGE_CONTACT "${VESK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print the DACLs of NTFS files and directories")
set(CPACK_PACKAGE_DESCRIPTION
  "VESK reads the discretionary ACLs of NTFS files and directories and prints
them in a compact, tab-separated notation, one block per object, ready to be
redirected to a file, compared, grepped and archived. On Linux it reads the
descriptors of NTFS volumes mounted by ntfs-3g or ntfs3, of disk images,
partitions, E01 (EnCase) evidence files, VHD, VHDX, VMDK and QCOW2 disks
and split raw images read directly without mounting,
and the Windows ACLs that Samba keeps in security.NTACL on Linux file
systems. vesk-diff compares two reports object by object.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VESK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
find_program(VESK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VESK_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  # What a C++ program built with Debian's compiler needs at run time.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
  get_property(VESK_LINKS_WBCLIENT GLOBAL PROPERTY VESK_LINKS_WBCLIENT)
  if(VESK_LINKS_WBCLIENT)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libwbclient0")
  endif()
  # The container libraries that src/disk/ links: their Debian packages.
  foreach(pair EWF:libewf2 VHDI:libvhdi1 VMDK:libvmdk1 QCOW:libqcow1 SMRAW:libsmraw1)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 prefix)
    list(GET pair 1 package)
    if(${prefix}_FOUND)
      string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${package}")
    endif()
  endforeach()
  if(REGF_FOUND)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libregf1, libbfio1")
  endif()
endif()

include(CPack)
