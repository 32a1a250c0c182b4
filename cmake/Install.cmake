# Installing Pelmora in the places the Filesystem Hierarchy Standard gives a desktop program, and
# packaging it as two Debian packages (`cpack -G DEB` in the build folder):
#
# pelmora
#   bin/pelmora                                   the program
#   lib/pelmora/QvodTerminal.exe                  the player engine's terminal, when it is built
#   share/applications/pelmora.desktop            menu entry, file and qvod:// link handler
#   share/icons/hicolor/NxN/apps/pelmora.png      the program's icon
#   share/man/man1/pelmora.1.gz                   the manual page
#   share/doc/pelmora/                            README.md, copyright, changelog.gz
# pelmora-demo
#   bin/pelmora-demo                              starts the demo service, then Pelmora against it
#   lib/pelmora/pelmora-demo-service              the demo service
#   share/pelmora-demo/media/                     its clips, from BUILD/demo-media (made by
#                                                 scripts/make-demo-media.sh before packaging)
#   share/applications/pelmora-demo.desktop       menu entry "Pelmora 演示"
#   lib/systemd/user/pelmora-demo.service         the service as a user service, the other way
#   share/man/man1/pelmora-demo.1.gz, share/doc/pelmora-demo/
#
# The skin and the list pages' icon are compiled into the program. An installed program keeps
# its own files in the user's data folder (see platform/program_folder.h), never beside itself.
include(GNUInstallDirs)

install(TARGETS pelmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT main)

# The engine's terminal is whichever target of the project is named QvodTerminal.exe.
set(PELMORA_TERMINAL_TARGET "")
function(pelmora_find_terminal directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(output ${target} OUTPUT_NAME)
    if(type STREQUAL "EXECUTABLE" AND (output STREQUAL "QvodTerminal.exe"
                                       OR target STREQUAL "QvodTerminal.exe"))
      set(PELMORA_TERMINAL_TARGET ${target} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  get_property(children DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(child IN LISTS children)
    pelmora_find_terminal(${child})
    if(PELMORA_TERMINAL_TARGET)
      set(PELMORA_TERMINAL_TARGET ${PELMORA_TERMINAL_TARGET} PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()
pelmora_find_terminal(${PROJECT_SOURCE_DIR})
if(PELMORA_TERMINAL_TARGET)
  # lib/pelmora beside bin/: the program looks for it there (engine_client/engine_program.h).
  install(TARGETS ${PELMORA_TERMINAL_TARGET} RUNTIME DESTINATION lib/pelmora COMPONENT main)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/src/resources/desktop/pelmora.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT main)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/pelmora-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME pelmora.png COMPONENT main)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelmora
        COMPONENT main)

# The maintainer named in the packages and their change logs: DEBFULLNAME and DEBEMAIL, as
# Debian's own tools take them, when they are set at configure time.
set(PELMORA_DEFAULT_MAINTAINER "Pelmora developers <developers@pelmora.org>")
if(DEFINED ENV{DEBFULLNAME} AND DEFINED ENV{DEBEMAIL})
  set(PELMORA_DEFAULT_MAINTAINER "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
set(PELMORA_PACKAGE_MAINTAINER "${PELMORA_DEFAULT_MAINTAINER}"
    CACHE STRING "Maintainer of the Debian packages, \"Name <address>\"")

# Manual pages and change logs are installed compressed, as Debian's policy wants them
# (gzip -9n: no name or time stamp, so the same sources give the same package).
set(PELMORA_PACKAGING_DIR ${PROJECT_BINARY_DIR}/packaging)
set(PELMORA_PACKAGING_OUTPUTS "")
function(pelmora_gzip source output)
  add_custom_command(OUTPUT ${output}
                     COMMAND gzip -9n -c ${source} > ${output}
                     DEPENDS ${source} VERBATIM)
  set(PELMORA_PACKAGING_OUTPUTS ${PELMORA_PACKAGING_OUTPUTS} ${output} PARENT_SCOPE)
endfunction()
foreach(package pelmora pelmora-demo)
  set(PACKAGE ${package})
  set(VERSION ${PROJECT_VERSION})
  set(MAINTAINER ${PELMORA_PACKAGE_MAINTAINER})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in
                 ${PELMORA_PACKAGING_DIR}/${package}/changelog @ONLY)
  pelmora_gzip(${PELMORA_PACKAGING_DIR}/${package}/changelog
               ${PELMORA_PACKAGING_DIR}/${package}/changelog.gz)
  pelmora_gzip(${PROJECT_SOURCE_DIR}/packaging/${package}.1
               ${PELMORA_PACKAGING_DIR}/${package}.1.gz)
endforeach()
add_custom_target(pelmora_packaging_files ALL DEPENDS ${PELMORA_PACKAGING_OUTPUTS})

install(FILES ${PELMORA_PACKAGING_DIR}/pelmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT main)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
              ${PELMORA_PACKAGING_DIR}/pelmora/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelmora COMPONENT main)

# ---- The demo ----------------------------------------------------------------------------------
if(TARGET pelmora-demo-service)
  install(TARGETS pelmora-demo-service RUNTIME DESTINATION lib/pelmora COMPONENT demo)
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/pelmora-demo
          DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT demo)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pelmora-demo.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT demo)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pelmora-demo.service
          DESTINATION lib/systemd/user COMPONENT demo)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/demo-media/
          DESTINATION ${CMAKE_INSTALL_DATADIR}/pelmora-demo/media COMPONENT demo OPTIONAL
          FILES_MATCHING PATTERN "*.mp4" PATTERN "*.webm")
  install(FILES ${PELMORA_PACKAGING_DIR}/pelmora-demo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT demo)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
                ${PELMORA_PACKAGING_DIR}/pelmora-demo/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelmora-demo COMPONENT demo)
endif()

# ---- The Debian packages -----------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main)
if(TARGET pelmora-demo-service)
  list(APPEND CPACK_COMPONENTS_ALL demo)
endif()
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VENDOR "Pelmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PELMORA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PELMORA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Installed programs carry no symbols, and dpkg-shlibdeps names the libraries they link.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_MAIN_PACKAGE_NAME pelmora)
set(CPACK_DEBIAN_MAIN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_MAIN_PACKAGE_SECTION video)
# The first line is the synopsis; the others, each under 80 columns, the long description.
string(CONCAT CPACK_COMPONENT_MAIN_DESCRIPTION
       "desktop client for an online video service\n"
       "Pelmora shows the service's catalogue in one skinned window, plays its\n"
       "episodes and local video files in an embedded player, keeps the history of\n"
       "what was watched with resume positions, and opens qvod:// links and video\n"
       "files from the desktop.")
# What no linker sees: libmpv is opened at run time, the platform plugins, Qt's translations of
# its dialogs and the desktop's address opener are loaded or started by name.
set(CPACK_DEBIAN_MAIN_PACKAGE_DEPENDS
    "libmpv2, qt6-qpa-plugins, qt6-translations-l10n, xdg-utils")
set(CPACK_DEBIAN_MAIN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_MAIN_PACKAGE_SUGGESTS "pelmora-demo")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME pelmora-demo)
set(CPACK_DEBIAN_DEMO_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION video)
string(CONCAT CPACK_COMPONENT_DEMO_DESCRIPTION
       "demo video service for Pelmora\n"
       "A small stand-in for the online video service on 127.0.0.1: a catalogue of\n"
       "three programmes, their episode lists, TV and music pages and short clips.\n"
       "Its menu entry starts the service and then Pelmora against it; a user\n"
       "service unit keeps the service running instead.")
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "pelmora (= ${PROJECT_VERSION})")
include(CPack)
