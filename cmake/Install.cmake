# Installing Pelmora in the places the Filesystem Hierarchy Standard gives a desktop program, and
# packaging it as a Debian package (`cpack -G DEB` in the build folder).
#
#   bin/pelmora                                   the program
#   lib/pelmora/QvodTerminal.exe                  the player engine's terminal, when it is built
#   share/applications/pelmora.desktop            menu entry, file and qvod:// link handler
#   share/icons/hicolor/NxN/apps/pelmora.png      the program's icon
#   share/doc/pelmora/README.md
#
# The skin and the list pages' icon are compiled into the program. An installed program keeps
# its own files in the user's data folder (see platform/program_folder.h), never beside itself.
include(GNUInstallDirs)

install(TARGETS pelmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

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
  # lib/pelmora beside bin/: the program looks for it there (platform/engine_program.h).
  install(TARGETS ${PELMORA_TERMINAL_TARGET} RUNTIME DESTINATION lib/pelmora)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/src/resources/desktop/pelmora.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/pelmora-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME pelmora.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelmora)

# ---- The Debian package ------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VENDOR "Pelmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for an online video service")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Pelmora shows the service's catalogue in one skinned window, plays its episodes and "
       "local video files in an embedded player, keeps the history of what was watched with "
       "resume positions, and opens qvod:// links and video files from the desktop.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pelmora developers <pelmora@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Debian 12's names. libmpv is opened at run time, so no linker would find it: it is named here.
set(PELMORA_PACKAGE_DEPENDS
    "libc6, libstdc++6, libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6, libqt6dbus6"
    "libqt6opengl6, libqt6openglwidgets6, libqt6webenginecore6, libqt6webenginewidgets6"
    "libqt6webchannel6, qt6-qpa-plugins, qt6-translations-l10n, libmpv2, libcurl4, libgl1"
    "xdg-utils")
if(PELMORA_TERMINAL_TARGET)
  list(APPEND PELMORA_PACKAGE_DEPENDS "libtorrent-rasterbar2.0")
endif()
list(JOIN PELMORA_PACKAGE_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
include(CPack)
