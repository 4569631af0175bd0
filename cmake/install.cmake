# Installation: the two programs, the desktop entry (opening .txt, .tlr and
# .wav files), the MIME type of encrypted documents, AppStream metadata and
# the icon, drawn once as SVG and rendered at the usual hicolor sizes.
include(GNUInstallDirs)
# Installed folders are 0755 whatever the umask of the one who installs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(TALERY_APP_ID org.talery.Talery)
set(TALERY_DATA ${CMAKE_SOURCE_DIR}/data)

install(TARGETS talery talery-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The program tells an installed copy from a portable folder by this file.
set_property(SOURCE src/app/paths.cpp APPEND PROPERTY COMPILE_DEFINITIONS
              TALERY_INSTALLED_DESKTOP_ENTRY="${CMAKE_INSTALL_DATADIR}/applications/${TALERY_APP_ID}.desktop")
install(FILES ${TALERY_DATA}/${TALERY_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TALERY_DATA}/${TALERY_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TALERY_DATA}/${TALERY_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${TALERY_APP_ID}.xml)

set(TALERY_ICON_SVG ${TALERY_DATA}/icons/${TALERY_APP_ID}.svg)
install(FILES ${TALERY_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
find_program(TALERY_RSVG_CONVERT rsvg-convert)
if(TALERY_RSVG_CONVERT)
  set(TALERY_ICON_PNGS)
  foreach(size 16 22 24 32 48 64 128 256 512)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${TALERY_APP_ID}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${TALERY_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${TALERY_ICON_SVG}
      DEPENDS ${TALERY_ICON_SVG}
      VERBATIM)
    list(APPEND TALERY_ICON_PNGS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(talery-icons ALL DEPENDS ${TALERY_ICON_PNGS})
else()
  message(WARNING "rsvg-convert not found (Debian: librsvg2-bin): only the scalable icon is installed")
endif()

if(TALERY_TESTS)
  # Installs into a temporary folder and checks what a desktop sees there.
  add_test(NAME install COMMAND ${CMAKE_SOURCE_DIR}/packaging/check-install ${CMAKE_BINARY_DIR})
  set_tests_properties(install PROPERTIES TIMEOUT 300)
endif()

# The Debian package, its manual pages and shell completion.
include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
