# Export speed against real time, lame, rubberband and soundstretch: a
# measured run by hand,
#   build/bench/export_bench [runs]
add_executable(export_bench ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp)
lentaro_target_defaults(export_bench)
target_link_libraries(export_bench PRIVATE lentaro_recording Qt6::Core)
