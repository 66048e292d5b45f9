# The engine's figures (offline render against mpg123 + soundstretch,
# control latency, seek, position accuracy, CPU, memory): run by hand,
#   build/bench/engine_bench [render|latency|seek|position|cpu|memory|all]
add_executable(engine_bench ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp)
target_link_libraries(engine_bench PRIVATE lentaro_audio_internal Threads::Threads)
lentaro_target_defaults(engine_bench)
