# What `cmake --install` puts beside the programs (documentation, manual
# pages, the desktop entry and its icon) and the packages CPack makes of
# that tree: a Debian package and a .tar.gz, for the architecture built for.
include(GNUInstallDirs)

# The same permissions whatever the builder's umask, as Debian wants them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(packaging "${PROJECT_SOURCE_DIR}/packaging")
set(compressed "${PROJECT_BINARY_DIR}/packaging")
# Debian ships manual pages and changelogs gzipped; -n keeps the bytes free of timestamps.
set(manual_pages intro.6 capture_show.1 render_module.1 make_prepared.1)
set(gzipped "")
foreach(source IN LISTS manual_pages ITEMS changelog)
  if(source STREQUAL "changelog")
    set(input "${packaging}/changelog")
  else()
    set(input "${PROJECT_SOURCE_DIR}/docs/man/${source}")
  endif()
  add_custom_command(OUTPUT "${compressed}/${source}.gz"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${compressed}"
    COMMAND gzip -9nc "${input}" > "${compressed}/${source}.gz"
    DEPENDS "${input}" VERBATIM)
  list(APPEND gzipped "${compressed}/${source}.gz")
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${gzipped})

foreach(page IN LISTS manual_pages)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section "${page}")
  install(FILES "${compressed}/${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${section}")
endforeach()
install(FILES README.md LICENSE.TXT "${compressed}/changelog.gz" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
# Debian looks for the licences under this name.
install(FILES LICENSE.TXT DESTINATION "${CMAKE_INSTALL_DOCDIR}" RENAME copyright)
install(FILES "${packaging}/intro.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES assets/intro_icon.png DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/192x192/apps"
        RENAME intro.png)

# Debian's names for the architectures the project builds for.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(debian_architecture arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(debian_architecture amd64)
else()
  message(FATAL_ERROR "no Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}")
endif()

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME intro)
set(CPACK_PACKAGE_VENDOR "Korvatel")
set(CPACK_PACKAGE_CONTACT "Korvatel intro authors <intro@korvatel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Korvatel's demo for the Lanternworks & Brackenridge conference")
set(CPACK_PACKAGE_DESCRIPTION "\
A self-contained audiovisual intro: one program that opens a full-screen
OpenGL window, plays its own tracker music through PulseAudio or PipeWire
and runs a fixed show keyed to the music: a boot console, the welcome
screen, a mirrored colour cube, the programme, a wave grid, the greetings,
a street with the event's logo and the credits.  Escape ends it.

Also included: capture_show, which renders the show offscreen to a video
or pictures with no display or sound server, render_module, which renders
a tracker module (XM, MOD, S3M) to WAV with the intro's replayer, and
make_prepared, which stores a module as the intro's prepared image.")
set(CPACK_PACKAGE_FILE_NAME "intro_${PROJECT_VERSION}_${debian_architecture}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${debian_architecture})
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without a sound server the show is silent and stops at the welcome screen.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps reads a cross build's binaries only when told the target's architecture.
if(CMAKE_CROSSCOMPILING)
  set(CPACK_INTRO_DEB_HOST_ARCH ${debian_architecture})
endif()
set(CPACK_PROJECT_CONFIG_FILE "${packaging}/cpack_per_generator.cmake")
include(CPack)
