# The queue between the writer of a compressing stream and its encoding thread.
orvenna_test(avi_frame_pipeline_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/avi_frame_pipeline_test.cpp
             LIBS orvenna_avi)
