# Decoder open and decode costs: run by hand, e.g.
#   build/bench/decoder_bench --benchmark_min_time=1
add_executable(decoder_bench ${CMAKE_CURRENT_LIST_DIR}/decoder_bench.cpp)
target_link_libraries(decoder_bench PRIVATE lentaro_audio_internal benchmark::benchmark)
lentaro_target_defaults(decoder_bench)
