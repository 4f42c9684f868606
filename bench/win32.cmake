# The Windows program under Wine: start-up probes (Tavelin and a bare window with the same
# controls, built the same way) and the import into the real window. bench/win32/run drives them.
if(WIN32)
  foreach(kind tavelin bare)
    add_executable(bench_win32_probe_${kind} WIN32 ${CMAKE_CURRENT_LIST_DIR}/win32/probe_window.cpp)
    target_link_libraries(bench_win32_probe_${kind} PRIVATE tavelin_win32 psapi comctl32)
    # The program's icon, pictures and manifest (visual styles), in both.
    target_sources(bench_win32_probe_${kind} PRIVATE $<TARGET_OBJECTS:tavelin_winres>)
    target_compile_options(bench_win32_probe_${kind} PRIVATE -municode)
    target_link_options(bench_win32_probe_${kind} PRIVATE -municode -static -static-libgcc
                        -static-libstdc++)
    set_target_properties(bench_win32_probe_${kind} PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                               ${CMAKE_BINARY_DIR}/bench)
  endforeach()
  # The bare window links the same libraries but uses none of Tavelin.
  target_compile_definitions(bench_win32_probe_tavelin PRIVATE PROBE_TAVELIN)
  add_executable(bench_win32_import ${CMAKE_CURRENT_LIST_DIR}/win32/bench_import.cpp)
  target_link_libraries(bench_win32_import PRIVATE tavelin_win32 tavelin_memory_registry)
  target_compile_options(bench_win32_import PRIVATE -municode)
  target_link_options(bench_win32_import PRIVATE -municode -static -static-libgcc -static-libstdc++)
  set_target_properties(bench_win32_import PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                      ${CMAKE_BINARY_DIR}/bench)
endif()
