# The engine's figures (offline render against the same decoding and stretch
# without the engine, control latency, seek, position accuracy, CPU, memory):
# run by hand,
#   build/bench/engine_bench [render|latency|seek|position|cpu|memory|all]
add_executable(engine_bench ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp)
# librubberband and libsndfile directly too: the stretch alone, beside the engine.
target_link_libraries(engine_bench PRIVATE lentaro_audio_internal PkgConfig::RUBBERBAND
                                           PkgConfig::SNDFILE Threads::Threads)
lentaro_target_defaults(engine_bench)
