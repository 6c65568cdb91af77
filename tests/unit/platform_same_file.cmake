orvenna_test(platform_same_file_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_same_file_test.cpp
             LIBS orvenna_platform)
