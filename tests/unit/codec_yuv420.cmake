# RGB to 4:2:0 conversion of the compressors.
orvenna_test(codec_yuv420_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_yuv420_test.cpp
             LIBS orvenna_codec)
