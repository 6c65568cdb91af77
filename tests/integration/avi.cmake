# The AVI library against ffprobe/ffmpeg as the oracle (no display, no sound server).
add_library(orvenna_avi_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/avi/AviTestSupport.cpp)
target_include_directories(orvenna_avi_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orvenna_avi_test_support PUBLIC orvenna_avi GTest::gtest PRIVATE orvenna_warnings)

foreach(name writer reader save opendml)
  orvenna_test(avi_${name}_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/avi_${name}_test.cpp
    LIBS orvenna_avi_test_support)
endforeach()
