# Start-up time of the main window against a bare Qt window, under a private
# X server: bench/startup-time [runs]
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
add_executable(startup_bench ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp)
target_link_libraries(startup_bench PRIVATE PkgConfig::X11)
lentaro_target_defaults(startup_bench)
target_compile_options(startup_bench PRIVATE -Wno-old-style-cast)

add_executable(bare_window ${CMAKE_CURRENT_LIST_DIR}/bare_window.cpp)
target_link_libraries(bare_window PRIVATE Qt6::Widgets)
lentaro_target_defaults(bare_window)
