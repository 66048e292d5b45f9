set(LENTARO_AUDIO_ENGINE_SOURCES
  src/spsc_ring.h
  src/chunk.h
  src/decode_source.h
  src/engine_error.h src/engine_error.cpp
  src/engine_internal.h
  src/tempo_stage.h src/tempo_stage.cpp
  src/tempo_channel.h src/tempo_channel.cpp
  src/mixer.h src/mixer.cpp
  src/output.h src/output_device.cpp src/output_pulse.cpp src/output_sdl.cpp
  src/output_nosound.cpp
  src/thread_priority.h src/thread_priority.cpp
  src/engine.h src/engine.cpp
  src/bass_api.cpp
)
