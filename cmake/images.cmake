# The optional libraries of the disk and volume readers: libntfs-3g (the
# volume reader) and, with it, libewf (the E01 container). Each is a row of
# its table (src/ntfs/volumes.cpp, src/disk/containers.cpp) under its flag;
# without it, a path into an image is reported as not supported. libregf
# reads the registry hives that name the evidence's accounts; without it
# they print as SIDs.
set(VESK_IMAGE_STATE "off")
set(NTFS3G_FOUND FALSE)
set(EWF_FOUND FALSE)
set(REGF_FOUND FALSE)
if(VESK_IMAGES AND NOT WIN32)
  find_package(PkgConfig)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(NTFS3G IMPORTED_TARGET GLOBAL libntfs-3g)
    pkg_check_modules(EWF IMPORTED_TARGET GLOBAL libewf)
    # The registry hives that name the evidence's accounts (src/registry),
    # read from memory through libbfio, whose calls vesk makes too.
    pkg_check_modules(REGF IMPORTED_TARGET GLOBAL libregf libbfio)
  endif()
  if(NTFS3G_FOUND)
    set(VESK_IMAGE_STATE "libntfs-3g ${NTFS3G_VERSION}")
    if(EWF_FOUND)
      string(APPEND VESK_IMAGE_STATE ", libewf ${EWF_VERSION}")
    endif()
  else()
    set(EWF_FOUND FALSE)
  endif()
endif()
if(NOT WIN32)
  message(STATUS "Disk images: ${VESK_IMAGE_STATE}")
  if(REGF_FOUND)
    message(STATUS "Account names from registry hives: libregf ${REGF_VERSION}")
  else()
    message(STATUS "Account names from registry hives: off (no libregf)")
  endif()
endif()
set(VESK_IMAGES_BUILT ${NTFS3G_FOUND})
set(VESK_EWF_BUILT ${EWF_FOUND})
set(VESK_REGF_BUILT ${REGF_FOUND})
