set(LENTARO_AUDIO_DECODER_SOURCES src/decoder.h src/decoder_stub.cpp)
