# Geometry of the capture frame window (no display needed).
orvenna_test(selection_frame_layout_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/selection_frame_layout_test.cpp
  LIBS orvenna_selection)
