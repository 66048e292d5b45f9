# Encoder feed: the child process, its WAV stream, and its failures. Some
# tests run the real `lame` and decode its output with `mpg123`.
lentaro_add_gtest(NAME encoder_feed_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encoder_cmdline_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/encoder_feed_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/encoder_lame_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/encoder_bass_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/encoder_test_support.h
  LIBS lentaro_audio_internal
  LABELS audio
  TIMEOUT 120)
