# The .reg reader and writer against a bare decode and encode, and whole commands on a registry file.
add_executable(bench_reg_file ${CMAKE_CURRENT_LIST_DIR}/bench_reg_file.cpp)
target_link_libraries(bench_reg_file PRIVATE tavelin_core tavelin_list)
