# Windows only: a check program that carries the program's resources (icon, version record,
# manifest) and reads them back from its own executable, so the cross build proves that the
# resource script compiles and holds what the program ships.
if(WIN32 AND TARGET tavelin_winres)
  add_executable(resources_win32_check ${CMAKE_CURRENT_LIST_DIR}/resources_win32_check.cpp)
  target_link_libraries(resources_win32_check PRIVATE tavelin_winres version ${TAVELIN_GTEST})
  target_compile_definitions(resources_win32_check PRIVATE ${TAVELIN_EXPECTED_VERSION_DEFINITIONS})
  # The version record is checked as the program file's test checks it.
  target_include_directories(resources_win32_check PRIVATE ${CMAKE_SOURCE_DIR}/tests/win32)
  add_test(NAME resources_win32_check COMMAND resources_win32_check)
  set_tests_properties(resources_win32_check PROPERTIES TIMEOUT 300)
endif()
