# The device output through a real PulseAudio server that the test starts
# itself (a null sink, its monitor captured). Plays in real time, so the
# sanitizer runs leave it out (label "pulse"); libpulse is not instrumented.
lentaro_add_gtest(NAME pulse_output_tests
  SOURCES engine_signals.h pulse_server.h pulse_server.cpp pulse_output_test.cpp
  LIBS lentaro_audio_internal
  LABELS pulse
  TIMEOUT 120)
