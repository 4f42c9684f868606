# File writes per store command on the registry file (counted with inotify, so Linux only), and
# the start-up sequence against a bare atomic replace.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_executable(bench_reg_file_commands ${CMAKE_CURRENT_LIST_DIR}/bench_reg_file_commands.cpp)
  target_link_libraries(bench_reg_file_commands PRIVATE tavelin_core tavelin_list)
endif()
