# The Windows Installer package beside the zip: Tavelin-<version>-windows-x64.msi, built from
# resources/windows/tavelin.wxs with wixl by the script below, which CPack runs once it has
# made the zip, on the very program file it packed (stripping stamps the time into the
# executable, so a second strip would give a different file). Included by windows-zip.cmake
# before include(CPack).
find_program(TAVELIN_WIXL wixl)

# The publisher shown in "Installed apps" is the company of the program's version record; the
# version shown there is the project's, as the record's is (resources/windows makes both).
file(STRINGS ${TAVELIN_VERSION_RECORD} company REGEX "VALUE \"CompanyName\"")
string(REGEX REPLACE ".*\"CompanyName\", *\"([^\"]*)\".*" "\\1" company "${company}")
if(NOT company)
  message(FATAL_ERROR "${TAVELIN_VERSION_RECORD}: the version record names no CompanyName")
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
