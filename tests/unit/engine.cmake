file(GLOB ENGINE_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/engine/*Test.cpp)
orvenna_test(engine_unit_tests
  SOURCES ${ENGINE_UNIT_TESTS}
  LIBS orvenna_engine orvenna_fake orvenna_resample orvenna_mux)
