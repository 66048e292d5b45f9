# Engine tests: generated signals on the manual and no-sound outputs.
lentaro_add_gtest(NAME engine_tests
  SOURCES engine_signals.h engine_channel_test.cpp engine_dsp_test.cpp
          engine_threads_test.cpp
  LIBS lentaro_audio_internal
  LABELS audio)
