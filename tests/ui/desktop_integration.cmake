# The desktop application's icon in its windows and the status bar's note in a Wayland session.
orvenna_test(ui_desktop_integration
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/desktop_integration_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_ui orvenna_fake Qt6::Test
  LABELS display)
