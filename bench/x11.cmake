# Screen grabs on a real X display (start one with scripts/lib/display.sh).
add_executable(bench_grab ${CMAKE_CURRENT_LIST_DIR}/x11_grab.cpp)
target_link_libraries(bench_grab
  PRIVATE orvenna_engine orvenna_fake orvenna_resample orvenna_mux orvenna_x11 PkgConfig::X11LIBS
  benchmark::benchmark
  orvenna_warnings)
