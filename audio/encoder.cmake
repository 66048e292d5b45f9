set(LENTARO_AUDIO_ENCODER_SOURCES src/encoder_feed.h src/encoder_stub.cpp)
