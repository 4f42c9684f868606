# A store command that writes on a 16 MiB Windows hive against one bare atomic replace, how
# much the hive grows over 100 commands, and the open of the hive left dirty with its logs
# against a bare read of them. The hive is grown from our own blank one.
if(NOT WIN32)
  add_executable(bench_offline_hive ${CMAKE_CURRENT_LIST_DIR}/bench_offline_hive.cpp
                                    ${CMAKE_SOURCE_DIR}/tests/core/support/blank_hive.cpp
                                    ${CMAKE_SOURCE_DIR}/tests/core/support/dirty_hive.cpp)
  target_include_directories(bench_offline_hive PRIVATE ${CMAKE_SOURCE_DIR}/tests/core)
  target_link_libraries(bench_offline_hive PRIVATE tavelin_core tavelin_list)
endif()
