# Engine tests: generated signals on the manual and no-sound outputs and a
# stand-in device, stand-in encoder programs, and the lock-free ring.
lentaro_add_gtest(NAME engine_tests
  SOURCES engine_signals.h engine_channel_test.cpp engine_dsp_test.cpp engine_loop_test.cpp
          engine_threads_test.cpp engine_encoder_end_test.cpp spsc_ring_test.cpp
          tempo_channel_test.cpp
  LIBS lentaro_audio_internal
  LABELS audio)

# End to end over the decoding corpus and with the real lame encoder; the
# libraries the engine opens when a file or a channel first needs them.
lentaro_add_gtest(NAME engine_file_tests
  SOURCES engine_signals.h engine_files.h engine_file_test.cpp engine_encode_test.cpp
          shared_library_test.cpp
  LIBS lentaro_audio_internal
  LABELS audio)
add_dependencies(engine_file_tests lentaro_decoder_corpus)

# Offline work: renders compared sample for sample with the manual output,
# waveform peaks of known signals, and encoders fed at the caller's pace.
lentaro_add_gtest(NAME offline_tests
  SOURCES engine_signals.h engine_files.h offline_render_test.cpp offline_peaks_test.cpp
          offline_encoder_test.cpp
  LIBS lentaro_audio_internal
  LABELS audio)
add_dependencies(offline_tests lentaro_decoder_corpus)

# Splices between two versions of a sound, on their own and through the
# engine with either stretcher, measured.
lentaro_add_gtest(NAME stretch_tests
  SOURCES signal_measures.h engine_signals.h splice_test.cpp engine_splice_test.cpp
          stretcher_range_test.cpp
  LIBS lentaro_audio_internal
  LABELS audio)
