add_executable(bench_dib ${CMAKE_CURRENT_LIST_DIR}/dib.cpp)
target_link_libraries(bench_dib PRIVATE orvenna_platform benchmark::benchmark_main orvenna_warnings)
