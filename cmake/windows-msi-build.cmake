# Builds the Windows Installer package with wixl.
#
# Run by CPack after it made the zip (cpack --preset mingw): the package is made from the
# program CPack staged and packed, and written beside the zip under the zip's name with .msi.
# Run on its own, for another version of the same package:
#   cmake -DSETTINGS=<build>/msi-settings.cmake -DVERSION=2.3.0 -DPROGRAM=<exe> -DOUTPUT=<msi>
#         -P windows-msi-build.cmake
if(CPACK_GENERATOR)
  if(NOT CPACK_GENERATOR STREQUAL "ZIP")
    return()
  endif()
  include(${CPACK_TAVELIN_MSI_SETTINGS})
  set(VERSION ${CPACK_PACKAGE_VERSION})
  set(PROGRAM "${CPACK_TEMPORARY_DIRECTORY}/${PROGRAM_NAME}")
  set(OUTPUT ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi)
  if(NOT WIXL)
    # The zip stands on its own; building the MSI as well needs wixl.
    message(WARNING "wixl was not found (apt-get install wixl): no MSI beside the zip")
    return()
  endif()
else()
  foreach(input SETTINGS VERSION PROGRAM OUTPUT)
    if(NOT DEFINED ${input})
      message(FATAL_ERROR "usage: cmake -DSETTINGS=... -DVERSION=... -DPROGRAM=... -DOUTPUT=... "
                          "-P windows-msi-build.cmake")
    endif()
  endforeach()
  include(${SETTINGS})
  if(NOT WIXL)
    message(FATAL_ERROR "wixl was not found (apt-get install wixl)")
  endif()
endif()

# wixl finds source files only by paths relative to the folder it runs in.
get_filename_component(folder "${PROGRAM}" DIRECTORY)
get_filename_component(program_file "${PROGRAM}" NAME)
file(RELATIVE_PATH icon_file "${folder}" "${ICON}")
file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND ${WIXL} --arch x64 -o ${OUTPUT}
          -D Version=${VERSION} -D "Manufacturer=${MANUFACTURER}"
          -D "ProgramName=${PROGRAM_NAME}" -D "ProgramFile=${program_file}"
          -D "IconFile=${icon_file}" ${WXS}
  WORKING_DIRECTORY "${folder}" RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
# wixl reports some faults as warnings and still exits with 0.
if(failed OR NOT EXISTS "${OUTPUT}" OR log MATCHES "WARNING|CRITICAL")
  message(FATAL_ERROR "wixl failed to build ${OUTPUT}:\n${log}")
endif()
message(STATUS "- package: ${OUTPUT} generated.")
