# One move in automatic save mode on the registry file against one bare atomic replace.
if(NOT WIN32)
  add_executable(bench_move ${CMAKE_CURRENT_LIST_DIR}/bench_move.cpp)
  target_link_libraries(bench_move PRIVATE tavelin_core tavelin_list)
endif()
