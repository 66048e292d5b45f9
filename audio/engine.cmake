set(LENTARO_AUDIO_ENGINE_SOURCES src/spsc_ring.h src/engine_stub.cpp)
