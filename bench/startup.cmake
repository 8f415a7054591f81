# Start-up benchmark: the harness and its reference program.
add_executable(empty_window ${CMAKE_CURRENT_LIST_DIR}/empty_window.cpp)
target_link_libraries(empty_window PRIVATE Qt6::Widgets)
add_executable(startup_bench ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp)
target_link_libraries(startup_bench PRIVATE PkgConfig::XCB)
