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

# SoundTouch's settings scored case by case against the same ideal, calling
# it directly: how the "Fast" stretcher's settings were chosen. By hand:
#   build/bench/soundtouch_settings [--cases ids] [SEQ,SEEK,OVERLAP | fast ...]
add_executable(soundtouch_settings
  ${CMAKE_CURRENT_LIST_DIR}/soundtouch_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/score.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metrics.cpp)
target_link_libraries(soundtouch_settings PRIVATE lentaro_audio_internal PkgConfig::SOUNDTOUCH)
lentaro_target_defaults(soundtouch_settings)
