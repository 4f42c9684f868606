# The Windows Installer package beside the zip: Tavelin-<version>-windows-x64.msi, built from
# resources/windows/tavelin.wxs with wixl by the script below, which CPack runs once it has
# made the zip, on the very program file it packed (stripping stamps the time into the
# executable, so a second strip would give a different file). Included by windows-zip.cmake
# before include(CPack).
find_program(TAVELIN_WIXL wixl)

# The publisher and the version shown in "Installed apps" are those of the program's version
# record; a version record that no longer matches the project's version stops the build here.
set(rc ${CMAKE_SOURCE_DIR}/resources/windows/tavelin.rc)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rc})
file(STRINGS ${rc} company REGEX "VALUE \"CompanyName\"")
string(REGEX REPLACE ".*\"CompanyName\", *\"([^\"]*)\".*" "\\1" company "${company}")
file(STRINGS ${rc} record_version REGEX "^ *FILEVERSION ")
string(REGEX REPLACE "^ *FILEVERSION +" "" record_version "${record_version}")
string(REPLACE "," "." record_version "${record_version}")
if(NOT company OR NOT record_version STREQUAL "${PROJECT_VERSION}.0")
  message(FATAL_ERROR "${rc}: expected FILEVERSION ${PROJECT_VERSION}.0 and a CompanyName, "
                      "found \"${record_version}\" and \"${company}\"")
endif()

# What the package is made of, for the CPack step and for tests that build another version.
set(TAVELIN_MSI_SETTINGS ${CMAKE_BINARY_DIR}/msi-settings.cmake)
file(GENERATE OUTPUT ${TAVELIN_MSI_SETTINGS} CONTENT "\
set(WIXL \"${TAVELIN_WIXL}\")
set(WXS \"${CMAKE_SOURCE_DIR}/resources/windows/tavelin.wxs\")
set(ICON \"${CMAKE_SOURCE_DIR}/resources/tavelin.ico\")
set(MANUFACTURER \"${company}\")
set(PROGRAM_NAME \"$<TARGET_FILE_NAME:tavelin_windows>\")
")
set(CPACK_TAVELIN_MSI_SETTINGS ${TAVELIN_MSI_SETTINGS})
list(APPEND CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/windows-msi-build.cmake)
