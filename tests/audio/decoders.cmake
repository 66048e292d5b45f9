# Decoder tests over a corpus generated at build time with sox and lame.
set(LENTARO_DECODER_CORPUS ${CMAKE_BINARY_DIR}/testdata/audio)
add_custom_command(
  OUTPUT ${LENTARO_DECODER_CORPUS}/stamp
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/corpus/make-corpus ${LENTARO_DECODER_CORPUS}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/make-corpus
  COMMENT "Generating the decoding corpus"
  VERBATIM)
add_custom_target(lentaro_decoder_corpus DEPENDS ${LENTARO_DECODER_CORPUS}/stamp)

lentaro_add_gtest(NAME decoder_tests
  SOURCES decoder_test_support.h decoder_table_test.cpp decoder_seek_test.cpp
    decoder_module_test.cpp
  LIBS lentaro_audio_internal
  LABELS audio)
add_dependencies(decoder_tests lentaro_decoder_corpus)
