# Start-up to the window being exposed, and resident memory at idle: Tavelin against a bare
# Qt window program built in the same tree.
if(TAVELIN_BUILD_GUI)
  add_executable(startup_probe_tavelin ${CMAKE_CURRENT_LIST_DIR}/startup_probe_tavelin.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/startup_probe.h)
  target_link_libraries(startup_probe_tavelin PRIVATE tavelin_gui)
  add_executable(startup_probe_bare ${CMAKE_CURRENT_LIST_DIR}/startup_probe_bare.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/startup_probe.h)
  target_link_libraries(startup_probe_bare PRIVATE Qt6::Widgets)
  add_executable(bench_startup ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp)
  target_link_libraries(bench_startup PRIVATE tavelin_core)
  target_compile_definitions(bench_startup PRIVATE
    PROBE_TAVELIN="$<TARGET_FILE:startup_probe_tavelin>"
    PROBE_BARE="$<TARGET_FILE:startup_probe_bare>")
  add_dependencies(bench_startup startup_probe_tavelin startup_probe_bare)
endif()
