# The other process of the crash and concurrency tests of the .reg file and of a Windows hive
# (hive_crash_test.cpp, in core_tests). POSIX only: the writer is killed with SIGKILL.
if(NOT WIN32)
  add_executable(hive_crash_child ${CMAKE_CURRENT_LIST_DIR}/hive_crash_child.cpp)
  target_link_libraries(hive_crash_child PRIVATE tavelin_list)
  add_dependencies(core_tests hive_crash_child)
  target_compile_definitions(core_tests PRIVATE
    TAVELIN_HIVE_CRASH_CHILD="$<TARGET_FILE:hive_crash_child>")
endif()
