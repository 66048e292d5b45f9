# The encoder feed's own CPU cost per second of audio (the encoder process
# itself is not counted: it is a separate process).
add_executable(encoder_feed_bench ${CMAKE_CURRENT_LIST_DIR}/encoder_feed_bench.cpp)
lentaro_target_defaults(encoder_feed_bench)
target_link_libraries(encoder_feed_bench PRIVATE lentaro_audio_internal benchmark::benchmark
                                                 benchmark::benchmark_main)
