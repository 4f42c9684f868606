# What a desktop installation needs beyond the program, its .desktop file and its 48x48 icon
# (those three are installed by qt/): the scalable icon, the AppStream metadata and the manual
# page. With TAVELIN_DEBIAN_PACKAGE (the "package" preset, driven by tools/package) also the
# files a Debian package must carry, and CPack set up to build tavelin_<version>_<arch>.deb.

if(NOT TAVELIN_BUILD_GUI OR WIN32 OR APPLE)
  return()
endif()

option(TAVELIN_DEBIAN_PACKAGE "Install the Debian package's own files and set up CPack for it" OFF)

include(GNUInstallDirs)
set(TAVELIN_RESOURCES ${CMAKE_SOURCE_DIR}/resources)
set(TAVELIN_APPSTREAM_ID org.example.tavelin)

# The release history (the AppStream releases and the Debian change log) is written by hand:
# each release has its own date and notes, which no build can make. Its newest entry must be
# the project's version, so that a release that forgets to write its notes stops here instead
# of shipping two versions.
function(tavelin_expect_newest_release file pattern)
  file(READ ${file} text)
  string(REGEX MATCH "${pattern}" found "${text}")
  if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "${file}: the newest release is \"${CMAKE_MATCH_1}\", "
                        "not the project's version ${PROJECT_VERSION}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
endfunction()
tavelin_expect_newest_release(${TAVELIN_RESOURCES}/${TAVELIN_APPSTREAM_ID}.metainfo.xml
                              "<release version=\"([^\"]*)\"")
tavelin_expect_newest_release(${TAVELIN_RESOURCES}/debian/changelog "^tavelin \\(([^)]*)\\)")

# gzip -9 -n, as Debian policy asks: smallest, and no time stamp, so the bytes depend only on
# the source. Redone whenever the source changes (it is a configure dependency).
function(tavelin_gzip source target)
  find_program(TAVELIN_GZIP gzip REQUIRED)
  execute_process(COMMAND ${TAVELIN_GZIP} -9 -n -c ${source} OUTPUT_FILE ${target}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${source}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

set(TAVELIN_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${TAVELIN_PACKAGING_DIR})
# The manual page's heading names the project's version.
configure_file(${TAVELIN_RESOURCES}/tavelin.1.in ${TAVELIN_PACKAGING_DIR}/tavelin.1 @ONLY)
tavelin_gzip(${TAVELIN_PACKAGING_DIR}/tavelin.1 ${TAVELIN_PACKAGING_DIR}/tavelin.1.gz)

install(FILES ${TAVELIN_RESOURCES}/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME tavelin.svg)
install(FILES ${TAVELIN_RESOURCES}/${TAVELIN_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TAVELIN_PACKAGING_DIR}/tavelin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(NOT TAVELIN_DEBIAN_PACKAGE)
  return()
endif()

# A version without a Debian revision makes a native package, whose change log is
# changelog.gz (not changelog.Debian.gz).
tavelin_gzip(${TAVELIN_RESOURCES}/debian/changelog ${TAVELIN_PACKAGING_DIR}/changelog.gz)
set(TAVELIN_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tavelin)
install(FILES ${TAVELIN_RESOURCES}/debian/copyright ${TAVELIN_PACKAGING_DIR}/changelog.gz
        DESTINATION ${TAVELIN_DOCDIR})
# CPack strips the symbols; like dh_strip, also drop the compilers' version notes, which a
# package does not need. Runs after qt/'s install of the program (rules run in order).
find_program(TAVELIN_OBJCOPY NAMES ${CMAKE_OBJCOPY} objcopy REQUIRED)
install(CODE "
  set(program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tavelin\")
  execute_process(COMMAND \"${TAVELIN_OBJCOPY}\" --remove-section=.comment \"\${program}\"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR \"objcopy could not clean \${program}\")
  endif()")

# Shipped only when it overrides something: a file of comments alone would tell lintian nothing.
set(TAVELIN_LINTIAN_OVERRIDES ${TAVELIN_RESOURCES}/debian/lintian-overrides)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TAVELIN_LINTIAN_OVERRIDES})
file(STRINGS ${TAVELIN_LINTIAN_OVERRIDES} TAVELIN_OVERRIDE_LINES REGEX "^[^#]*[^# \t]")
if(TAVELIN_OVERRIDE_LINES)
  install(FILES ${TAVELIN_LINTIAN_OVERRIDES}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tavelin)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavelin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavelin developers")
set(CPACK_PACKAGE_CONTACT "Tavelin developers <tavelin@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "view and curate the addresses a browser remembers as typed")
# CPack puts the summary above this and indents it as the control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tavelin shows the list of addresses that Internet Explorer remembers as
typed addresses, the entries its address bar offers. It deletes, reorders,
adds and edits entries, undoes and redoes every change, saves the list back
at once or on request, exports it to a text file and imports it again, and
opens an entry in the web browser.

On Linux the list is kept in a registry file in the .reg format that
regedit and Wine's reg tool read and write, so typed addresses move to and
from a Wine prefix with reg export and reg import.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries come from dpkg-shlibdeps on the binary, appended to what is named here. The
# windows ask for Arial, which Debian does not ship; Liberation Sans has its metrics, so the
# fixed layouts keep their shape.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
# Opening an entry falls back to xdg-open when $BROWSER names nothing usable.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)
