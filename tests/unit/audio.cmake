file(GLOB AUDIO_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/audio/*Test.cpp)
orvenna_test(audio_unit_tests
  SOURCES ${AUDIO_UNIT_TESTS}
  LIBS orvenna_audio orvenna_resample orvenna_fake)
