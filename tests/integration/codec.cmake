# The compressors over the linked libavcodec: no display, no sound server.
add_library(codec_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/codec_test_support.cpp)
target_link_libraries(codec_test_support PUBLIC orvenna_codec GTest::gtest PRIVATE orvenna_warnings)
target_include_directories(codec_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR})

orvenna_test(codec_encode_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_encode_test.cpp
  LIBS codec_test_support)
orvenna_test(codec_manager_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_manager_test.cpp
  LIBS codec_test_support orvenna_test_codecs)
orvenna_test(codec_avi_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_avi_test.cpp
  LIBS codec_test_support orvenna_avi_test_support)
orvenna_test(codec_msvideo1_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_msvideo1_test.cpp
  LIBS codec_test_support)
orvenna_test(codec_zmbv_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_zmbv_test.cpp
  LIBS codec_test_support)
orvenna_test(container_save_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/container_save_test.cpp
  LIBS codec_test_support orvenna_avi_test_support orvenna_mux)
