# Wine's `reg export` and `reg import` as a real peer of the registry file: what Wine writes reads
# and writes back byte for byte, and what the backend writes imports into Wine unchanged.
# Linux only, and only where Wine is installed; the Wine prefix is the build tree's own.
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  find_program(TAVELIN_WINE wine)
  if(TAVELIN_WINE)
    add_executable(reg_file_wine_peer ${CMAKE_CURRENT_LIST_DIR}/peer/reg_file_wine_peer.cpp)
    target_link_libraries(reg_file_wine_peer PRIVATE core_test_support)
    target_compile_definitions(reg_file_wine_peer PRIVATE
      WINE_RUN="${CMAKE_SOURCE_DIR}/tools/wine-run"
      WINE_PREFIX="${CMAKE_BINARY_DIR}/wineprefix-peer")
    add_test(NAME reg_file_wine_peer COMMAND reg_file_wine_peer)
    # Making the Wine prefix takes about half a minute the first time.
    set_tests_properties(reg_file_wine_peer PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
  endif()
endif()
