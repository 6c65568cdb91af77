# The region windows and the main window's placement on a scaled desktop, each run on a private display of its own: once
# scaled by Xft.dpi 192 in the display's resources, once by Qt's QT_SCALE_FACTOR 1.5.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

orvenna_test(ui_scaled_windows
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScaledWindowsTest.cpp
  LIBS orvenna_ui orvenna_x11 PkgConfig::X11LIBS Qt6::Test
  LABELS display)
set_property(TEST ui_scaled_windows APPEND PROPERTY ENVIRONMENT
             ORVENNA_TEST_XFT_DPI=192 ORVENNA_TEST_RATIO=2)

add_test(NAME ui_scaled_windows_fractional COMMAND ui_scaled_windows)
get_test_property(ui_scaled_windows ENVIRONMENT scaled_environment)
list(FILTER scaled_environment EXCLUDE REGEX "^ORVENNA_TEST_")
set_tests_properties(ui_scaled_windows_fractional PROPERTIES LABELS display TIMEOUT 600
  ENVIRONMENT "${scaled_environment};QT_SCALE_FACTOR=1.5;ORVENNA_TEST_RATIO=1.5")
