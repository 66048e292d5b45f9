set(LENTARO_AUDIO_ENGINE_SOURCES
  # The libraries opened on first use, not at start-up.
  include/lentaro/shared_library.h src/shared_library.cpp
  src/library_mpg123.h src/library_sndfile.h src/library_openmpt.h src/library_pulse.h
  src/library_sdl.h src/library_rubberband.h src/library_soundtouch.h
  src/spsc_ring.h
  src/chunk.h
  src/decode_source.h
  src/engine_error.h src/engine_error.cpp
  src/engine_internal.h
  src/loop_reader.h src/loop_reader.cpp
  src/speed_trainer.h src/speed_trainer.cpp
  src/count_in.h src/count_in.cpp
  src/stretcher.h src/stretcher.cpp src/stretcher_soundtouch.cpp src/stretcher_rubberband.cpp
  src/splice.h src/splice.cpp
  src/tempo_stage.h src/tempo_stage.cpp
  src/tempo_channel.h src/tempo_channel.cpp
  src/mixer.h src/mixer.cpp
  src/output.h src/output_device.cpp src/output_pulse.cpp src/output_sdl.cpp
  src/output_nosound.cpp
  src/thread_priority.h src/thread_priority.cpp
  src/engine.h src/engine.cpp
  src/bass_api.cpp
  # Offline work apart from the playing engine: renders, peaks, encoders fed at
  # the caller's pace (lentaro/bass_offline.h).
  include/lentaro/bass_offline.h
  src/offline_range_decoder.h
  src/offline_render.h src/offline_render.cpp
  src/offline_peaks.h src/offline_peaks.cpp
  src/offline_encoder.h src/offline_encoder.cpp
  src/offline_api.cpp
)
