# Stretch quality against an ideal, beside Rubber Band, soundstretch and a
# naive overlap-add: run by hand, bench/quality/run (builds, then runs
#   build/bench/stretch_quality [--cases ...] [--methods ...]).
add_executable(stretch_quality
  ${CMAKE_CURRENT_LIST_DIR}/stretch_quality.cpp
  ${CMAKE_CURRENT_LIST_DIR}/score.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metrics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/renderers.cpp)
target_link_libraries(stretch_quality PRIVATE lentaro_audio PkgConfig::SNDFILE Threads::Threads)
lentaro_target_defaults(stretch_quality)
