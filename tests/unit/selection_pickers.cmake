# The free-hand window's handling of the mouse (no display needed).
orvenna_test(selection_free_hand_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/selection_free_hand_test.cpp
  LIBS orvenna_selection)
