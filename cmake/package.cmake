# The Debian package, made by CPack from the install rules (scripts/package;
# by hand: cpack -G DEB in a RelWithDebInfo build folder): what cmake --install
# puts in place, plus the manual pages, the bash completion of talery-tool and
# the documents Debian asks for. The programs go in stripped; their debug
# symbols go in talery-dbgsym.
#
# CPack rather than a debian/ folder: the install rules stay the one list of
# what is shipped, the version is the project's without a second copy in a
# debian/changelog, and the package is made from a finished build (the tests'
# own, in the test) instead of a second compile by dpkg-buildpackage.
set(TALERY_PACKAGE_MAINTAINER "The Talery developers <developers@talery.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(TALERY_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

# Manual pages, English and Chinese, compressed.
set(TALERY_MAN_PAGES)
foreach(language "" zh_CN)
  foreach(page talery talery-tool)
    set(in ${TALERY_PACKAGING}/man/${language}/${page}.1.in)
    set(out ${CMAKE_BINARY_DIR}/man/${language}/${page}.1.gz)
    add_custom_command(
      OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/${language}
      COMMAND ${CMAKE_COMMAND} -DIN=${in} -DOUT=${out} -DVERSION=${PROJECT_VERSION}
              -P ${CMAKE_SOURCE_DIR}/cmake/man_page.cmake
      DEPENDS ${in} ${CMAKE_SOURCE_DIR}/cmake/man_page.cmake
      VERBATIM)
    list(APPEND TALERY_MAN_PAGES ${out})
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/${language}/man1)
  endforeach()
endforeach()
add_custom_target(talery-man ALL DEPENDS ${TALERY_MAN_PAGES})

install(FILES ${TALERY_PACKAGING}/bash-completion/talery-tool
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The copyright file carries the licence the program shows, and the changelog
# the version and date of this release in the AppStream metadata.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/resources/about/licence.txt ${TALERY_DATA}/${TALERY_APP_ID}.metainfo.xml)
file(READ ${CMAKE_SOURCE_DIR}/resources/about/licence.txt licence)
string(FIND "${licence}" "二、许可协议" start)
if(start LESS 0)
  message(FATAL_ERROR "resources/about/licence.txt has no licence section")
endif()
string(SUBSTRING "${licence}" ${start} -1 licence)
string(REPLACE "\r" "" licence "${licence}")
string(STRIP "${licence}" licence)
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REGEX REPLACE "\n" "\n " TALERY_LICENCE_TEXT " ${licence}")
file(READ ${TALERY_DATA}/${TALERY_APP_ID}.metainfo.xml metainfo)
if(NOT metainfo MATCHES "<release version=\"${PROJECT_VERSION}\" date=\"([0-9-]+)\"")
  message(FATAL_ERROR "the AppStream metadata has no release ${PROJECT_VERSION}")
endif()
string(SUBSTRING "${CMAKE_MATCH_1}" 0 4 TALERY_RELEASE_YEAR)
execute_process(COMMAND date -u -R -d "${CMAKE_MATCH_1} 12:00" OUTPUT_VARIABLE TALERY_RELEASE_DATE
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(TALERY_DEBIAN_DOCS ${CMAKE_BINARY_DIR}/debian-docs)
configure_file(${TALERY_PACKAGING}/debian/copyright.in ${TALERY_DEBIAN_DOCS}/copyright @ONLY)
configure_file(${TALERY_PACKAGING}/debian/changelog.in ${TALERY_DEBIAN_DOCS}/changelog @ONLY)
execute_process(COMMAND gzip -9nc ${TALERY_DEBIAN_DOCS}/changelog OUTPUT_FILE ${TALERY_DEBIAN_DOCS}/changelog.gz
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${TALERY_DEBIAN_DOCS}/copyright ${TALERY_DEBIAN_DOCS}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/talery)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talery)
set(CPACK_PACKAGE_VENDOR "The Talery developers")
set(CPACK_PACKAGE_CONTACT "${TALERY_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writing tool for Chinese novels, notes and diaries")
set(CPACK_PACKAGE_DESCRIPTION "\
Talery is a desktop writing tool for people who write novels, chapters,
notes and diaries in Chinese. One window holds one text, saved as a plain
GBK text file or as a password-encrypted .tlr document; every save keeps the
earlier versions, and a backup copy follows the typing.

It also has find and replace, live statistics, a diary mode, a voice
recorder and WAV player, and daily writing tasks. talery-tool decrypts,
encrypts and counts documents from the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The licence gives free use, not the freedoms Debian's main archive asks for.
set(CPACK_DEBIAN_PACKAGE_SECTION non-free/editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from the links (dpkg-shlibdeps); then what only runs at run time:
# GStreamer's WAV playback, a Chinese font of those the window asks for, and
# the toolkit's Chinese dialogs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "\
gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, \
fonts-wqy-microhei | fonts-noto-cjk | fonts-droid-fallback, qt6-translations-l10n")
# Copies the programs' debug symbols into talery-dbgsym, then strips them
# (CPACK_STRIP_FILES would strip first and leave nothing to copy). A build
# without debug information (Release, MinSizeRel) has no symbols to ship:
# its programs are only stripped, and there is no talery-dbgsym.
if(CMAKE_BUILD_TYPE MATCHES "^(Debug|RelWithDebInfo)$")
  set(TALERY_DEBUG_SYMBOLS ON)
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/fix_dbgsym.cmake)
else()
  set(TALERY_DEBUG_SYMBOLS OFF)
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

if(TALERY_TESTS)
  # Builds the package from this build and checks it as Debian would, then
  # installs it into a scratch root and runs it there.
  if(TALERY_DEBUG_SYMBOLS)
    add_test(NAME package COMMAND ${TALERY_PACKAGING}/check-deb ${CMAKE_BINARY_DIR})
  else()
    add_test(NAME package COMMAND ${TALERY_PACKAGING}/check-deb ${CMAKE_BINARY_DIR} --no-debug-symbols)
  endif()
  set_tests_properties(package PROPERTIES TIMEOUT 300)
endif()
