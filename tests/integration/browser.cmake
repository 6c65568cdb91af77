# Files played to their end by a real browser (Chromium, headless, no display). The program
# skips its tests when the browser is missing.
orvenna_test(browser_playback_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/browser_playback_test.cpp
  LABELS browser)
target_compile_definitions(browser_playback_test PRIVATE
  ORVENNA_PLAY_IN_BROWSER="${PROJECT_SOURCE_DIR}/tests/tools/play_in_browser.sh")
