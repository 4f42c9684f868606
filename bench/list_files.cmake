# Importing and exporting address list files against the bare file work they rest on.
add_executable(bench_list_files ${CMAKE_CURRENT_LIST_DIR}/bench_list_files.cpp)
target_link_libraries(bench_list_files PRIVATE tavelin_core tavelin_list tavelin_memory_registry)
