# Read by cpack once per generator: a cross build's Debian package asks
# dpkg-shlibdeps for the target's objdump and library folders.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_INTRO_DEB_HOST_ARCH)
  set(ENV{DEB_HOST_ARCH} "${CPACK_INTRO_DEB_HOST_ARCH}")
endif()
