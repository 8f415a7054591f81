find_package(Qt6 REQUIRED COMPONENTS Test)
# Start-up benchmark: the harness and its reference program.
add_executable(empty_window ${CMAKE_CURRENT_LIST_DIR}/empty_window.cpp)
target_link_libraries(empty_window PRIVATE Qt6::Widgets)
add_executable(startup_bench ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp)
target_link_libraries(startup_bench PRIVATE PkgConfig::XCB)

# Showing a large image in the window.
add_executable(view_bench ${CMAKE_CURRENT_LIST_DIR}/view_bench.cpp)
target_link_libraries(view_bench PRIVATE glimvane_core)

add_executable(launch_bench ${CMAKE_CURRENT_LIST_DIR}/launch_bench.cpp)
target_link_libraries(launch_bench PRIVATE PkgConfig::XCB)

add_executable(navigate_bench ${CMAKE_CURRENT_LIST_DIR}/navigate_bench.cpp)
target_link_libraries(navigate_bench PRIVATE glimvane_core Qt6::Test)

add_executable(folder_bench ${CMAKE_CURRENT_LIST_DIR}/folder_bench.cpp)
target_link_libraries(folder_bench PRIVATE glimvane_core)
