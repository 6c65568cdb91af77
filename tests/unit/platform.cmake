orvenna_test(platform_dib_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_dib_test.cpp
             LIBS orvenna_platform)
orvenna_test(platform_files_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_files_test.cpp
             LIBS orvenna_platform)
orvenna_test(platform_log_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_log_test.cpp
             LIBS orvenna_platform)
orvenna_test(platform_containers_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_containers_test.cpp
             LIBS orvenna_platform)
