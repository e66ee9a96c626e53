# What `cmake --install` puts beside the programs (documentation, manual
# pages, the desktop entry and its icon) and the packages CPack makes of
# that tree: a Debian package and a .tar.gz, for the architecture built for.
include(GNUInstallDirs)

# The same permissions whatever the builder's umask, as Debian wants them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(packaging "${PROJECT_SOURCE_DIR}/packaging")
set(compressed "${PROJECT_BINARY_DIR}/packaging")

# Two packages, as Debian splits a program from its utilities: "show" is
# the intro (package intro), "tools" the offline capture, the module
# renderer and the prepared-image writer (package intro-tools), which need
# nothing of the show's window or sound server.
set(show_pages intro.6)
set(tools_pages capture_show.1 render_module.1 make_prepared.1)

# The Debian release built on names the packages' revision (1~deb12u1,
# 1~deb13u1), so that each release's packages tell themselves apart and a
# newer release's sort above an older one's.
set(debian_release "")
if(EXISTS /etc/os-release)
  file(STRINGS /etc/os-release os_release REGEX "^(ID|VERSION_ID|VERSION_CODENAME)=")
  foreach(line IN LISTS os_release)
    string(REGEX REPLACE "^([A-Z_]+)=\"?([^\"]*)\"?$" "\\1;\\2" pair "${line}")
    list(GET pair 0 key)
    list(GET pair 1 value)
    set(os_${key} "${value}")
  endforeach()
  if(os_ID STREQUAL "debian" AND os_VERSION_ID MATCHES "^[0-9]+$")
    set(debian_release "${os_VERSION_ID}")
    set(debian_suite "${os_VERSION_CODENAME}")
  endif()
endif()
if(debian_release)
  set(package_revision "1~deb${debian_release}u1")
else()
  set(package_revision "1")
  set(debian_suite "unstable")
endif()
set(package_version "${PROJECT_VERSION}-${package_revision}")

# Debian ships manual pages and changelogs gzipped; -n keeps the bytes free
# of timestamps.  The changelog's entry is this build's version and release.
configure_file("${packaging}/changelog.in" "${compressed}/changelog.Debian" @ONLY)
set(gzipped "")
foreach(source IN LISTS show_pages tools_pages ITEMS changelog.Debian)
  if(source STREQUAL "changelog.Debian")
    set(input "${compressed}/changelog.Debian")
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

foreach(component show tools)
  foreach(page IN LISTS ${component}_pages)
    string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section "${page}")
    install(FILES "${compressed}/${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${section}" COMPONENT ${component})
  endforeach()
endforeach()
# Each package carries the licences, under the name Debian looks for, and the changelog.
foreach(package_and_component "intro;show" "intro-tools;tools")
  list(GET package_and_component 0 package)
  list(GET package_and_component 1 component)
  install(FILES LICENSE.TXT DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}" RENAME copyright COMPONENT ${component})
  install(FILES "${compressed}/changelog.Debian.gz" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}"
          COMPONENT ${component})
endforeach()
install(FILES README.md LICENSE.TXT DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/intro" COMPONENT show)
install(FILES "${packaging}/intro.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT show)
install(FILES assets/intro_icon.png DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/192x192/apps"
        RENAME intro.png COMPONENT show)

# Debian's names for the architectures the project builds for.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(debian_architecture arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(debian_architecture amd64)
else()
  message(FATAL_ERROR "no Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}")
endif()

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_COMPONENTS_ALL show tools)
set(CPACK_PACKAGE_NAME intro)
set(CPACK_PACKAGE_VENDOR "Korvatel")
set(CPACK_PACKAGE_CONTACT "Korvatel intro authors <intro@korvatel.example>")
# The tarball holds both packages' files, for unpacking anywhere.
set(CPACK_PACKAGE_FILE_NAME "intro_${package_version}_${debian_architecture}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE "${package_revision}")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${debian_architecture})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each package's first line of description is its summary (the project's
# summary would head both).
set(CPACK_DEBIAN_SHOW_PACKAGE_NAME intro)
set(CPACK_DEBIAN_SHOW_PACKAGE_SECTION games)
# Without a sound server the show is silent and stops at the welcome screen.
set(CPACK_DEBIAN_SHOW_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_SHOW_PACKAGE_SUGGESTS "intro-tools")
set(CPACK_DEBIAN_SHOW_DESCRIPTION "Korvatel's demo for the Lanternworks & Brackenridge conference
A self-contained audiovisual intro: one program that opens a full-screen
OpenGL window, plays its own tracker music through PulseAudio or PipeWire
and runs a fixed show keyed to the music: a boot console, the welcome
screen, a mirrored colour cube, the programme, a wave grid, the greetings,
a street with the event's logo and the credits.  Escape ends it.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME intro-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION video)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "tools of the Korvatel intro: capture to video, render its music
capture_show renders the Korvatel intro's show offscreen, frame-exact, with
no display or sound server: a video with the music muxed sample for sample
(H.264 and AAC in MP4, or lossless FFV1 and FLAC in Matroska), PNG stills
or a contact sheet of every scene.  render_module renders a tracker module
(XM, MOD, S3M) to WAV with the intro's own replayer, a channel alone or
without it, and make_prepared stores a module as the intro's prepared
image.")

# dpkg-shlibdeps reads a cross build's binaries only when told the target's architecture.
if(CMAKE_CROSSCOMPILING)
  set(CPACK_INTRO_DEB_HOST_ARCH ${debian_architecture})
endif()
set(CPACK_PROJECT_CONFIG_FILE "${packaging}/cpack_per_generator.cmake")
include(CPack)
