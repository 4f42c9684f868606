# The Windows program as a zip: "Tavelin v<major>.<minor>.exe" (linked statically, so it is the
# whole program) and a short README, built with `cpack --preset mingw`.
# The texts with Windows line ends, so that every editor there shows their lines; the README
# names the program as this version calls it, under a title underlined to its length.
set(TAVELIN_README_TITLE "Tavelin ${TAVELIN_VERSION_MAJOR_MINOR} for Windows")
string(LENGTH "${TAVELIN_README_TITLE}" length)
string(REPEAT "=" ${length} TAVELIN_README_UNDERLINE)
foreach(text resources/windows/README.txt LICENSE)
  get_filename_component(name ${text} NAME_WE)
  configure_file(${CMAKE_SOURCE_DIR}/${text} ${CMAKE_BINARY_DIR}/zip/${name}.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/zip/${name}.txt DESTINATION .)
endforeach()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tavelin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavelin developers")
set(CPACK_SYSTEM_NAME windows-x64)
set(CPACK_STRIP_FILES ON)
# Unpacks into one folder of its own, named like the zip.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# The MSI is made from the zip's own program, once the zip is made.
include(${CMAKE_CURRENT_LIST_DIR}/windows-msi.cmake)
include(CPack)
