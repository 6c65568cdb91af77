# Encoding throughput of the compressors (bench/encode_vs_ffmpeg.sh sets it beside ffmpeg).
add_executable(bench_encode ${CMAKE_CURRENT_LIST_DIR}/bench_encode.cpp)
target_link_libraries(bench_encode PRIVATE orvenna_codec orvenna_fake benchmark::benchmark orvenna_warnings)
