# CPU of the program while Play and Record runs: a measured run by hand,
#   build/bench/recording_cpu [seconds] [mp3]
# prints the process's, the main thread's and the encoder's share of a core.
add_executable(recording_cpu ${CMAKE_CURRENT_LIST_DIR}/recording_cpu.cpp)
lentaro_target_defaults(recording_cpu)
target_link_libraries(recording_cpu PRIVATE lentaro_recording Qt6::Widgets)
target_compile_definitions(recording_cpu PRIVATE
  LENTARO_BENCH_MP3="${CMAKE_BINARY_DIR}/testdata/recording/tone.mp3")
if(LENTARO_BUILD_TESTS)
  # Its default input is the recording tests' generated tone.
  add_dependencies(recording_cpu recording_testdata)
endif()
