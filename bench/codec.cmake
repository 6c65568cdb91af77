# Encoding throughput of the compressors (bench/encode_vs_ffmpeg.sh sets it beside ffmpeg).
add_executable(bench_encode ${CMAKE_CURRENT_LIST_DIR}/bench_encode.cpp)
target_link_libraries(bench_encode PRIVATE orvenna_codec orvenna_fake benchmark::benchmark orvenna_warnings)

# The conversion of frame pixels into 4:2:0 YUV.
add_executable(bench_yuv420 ${CMAKE_CURRENT_LIST_DIR}/yuv420.cpp)
target_link_libraries(bench_yuv420 PRIVATE orvenna_codec benchmark::benchmark_main orvenna_warnings)

# Rearranging grabbed pixels into the RGB layouts of the lossless compressors.
add_executable(bench_rgb_layout ${CMAKE_CURRENT_LIST_DIR}/rgb_layout.cpp)
target_link_libraries(bench_rgb_layout PRIVATE orvenna_codec benchmark::benchmark_main orvenna_warnings)
