# The sound input component and the recorder over the generator driver.
file(GLOB AUDIO_DEVICE_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/audio_device/*Test.cpp)
orvenna_test(audio_device_tests
  SOURCES ${AUDIO_DEVICE_TESTS}
  LIBS orvenna_audio orvenna_fake)
