# A compressing stream whose encoder runs on its own thread: queueing, failures, release.
orvenna_test(avi_queue_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/avi_queue_test.cpp
             LIBS orvenna_avi_test_support)
