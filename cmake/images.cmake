# The optional libraries of the disk and volume readers: libntfs-3g (the
# volume reader) and, with it, the containers' libraries: libewf (E01),
# libvhdi (VHD, VHDX), libvmdk, libqcow, libsmraw (split raw). Each is a row of
# its table (src/ntfs/volumes.cpp, src/disk/containers.cpp) under its flag;
# without it, a path into an image is reported as not supported. libregf
# reads the registry hives that name the evidence's accounts; without it
# they print as SIDs.
set(VESK_IMAGE_STATE "off")
set(NTFS3G_FOUND FALSE)
# The containers' libraries: the prefix of their pkg-config variables, and
# their modules.
set(VESK_CONTAINER_LIBRARIES EWF VHDI VMDK QCOW SMRAW)
foreach(prefix ${VESK_CONTAINER_LIBRARIES})
  set(${prefix}_FOUND FALSE)
endforeach()
set(REGF_FOUND FALSE)
if(VESK_IMAGES AND NOT WIN32)
  find_package(PkgConfig)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(NTFS3G IMPORTED_TARGET GLOBAL libntfs-3g)
    foreach(prefix ${VESK_CONTAINER_LIBRARIES})
      string(TOLOWER "lib${prefix}" module)
      pkg_check_modules(${prefix} IMPORTED_TARGET GLOBAL ${module})
    endforeach()
    # The registry hives that name the evidence's accounts (src/registry),
    # read from memory through libbfio, whose calls vesk makes too.
    pkg_check_modules(REGF IMPORTED_TARGET GLOBAL libregf libbfio)
  endif()
  if(NTFS3G_FOUND)
    set(VESK_IMAGE_STATE "libntfs-3g ${NTFS3G_VERSION}")
    foreach(prefix ${VESK_CONTAINER_LIBRARIES})
      if(${prefix}_FOUND)
        string(TOLOWER "lib${prefix}" module)
        string(APPEND VESK_IMAGE_STATE ", ${module} ${${prefix}_VERSION}")
      endif()
    endforeach()
  else()
    foreach(prefix ${VESK_CONTAINER_LIBRARIES})
      set(${prefix}_FOUND FALSE)
    endforeach()
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
# Whether the four libraries beside libewf were all found: the tests expect
# them all, or (without image support) none.
set(VESK_CONTAINERS_BUILT TRUE)
foreach(prefix VHDI VMDK QCOW SMRAW)
  if(NOT ${prefix}_FOUND)
    set(VESK_CONTAINERS_BUILT FALSE)
  endif()
endforeach()
