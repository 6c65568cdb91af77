# The benchmark's helper that runs a command beside a screen cast of the headless Wayland desktop
# (bench/tools); the part that needs the desktop is skipped without it.
if(ORVENNA_BENCH)
  orvenna_test(screencast_run_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/screencast_run_test.cpp
    LABELS wayland)
  add_dependencies(screencast_run_test orvenna-screencast-run)
  target_compile_definitions(screencast_run_test PRIVATE
    ORVENNA_SCREENCAST_RUN="$<TARGET_FILE:orvenna-screencast-run>")
endif()
