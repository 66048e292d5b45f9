set(LENTARO_AUDIO_ENGINE_SOURCES src/engine_stub.cpp)
