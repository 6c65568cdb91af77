# A libFuzzer target of the AVI/WAVE reader and a writer of its seed files (clang only; run by
# hand, see README.md). The library's sources are compiled into the fuzzer so that they are
# instrumented for coverage and AddressSanitizer; files live in memory.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  get_target_property(AVI_SOURCES orvenna_avi SOURCES)
  list(TRANSFORM AVI_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/platform/avi/)
  list(APPEND AVI_SOURCES ${PROJECT_SOURCE_DIR}/tests/integration/avi/AviTestSupport.cpp)
  foreach(name fuzz_avi_reader fuzz_avi_seeds)
    add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp ${AVI_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE orvenna_warnings)
  endforeach()
  target_compile_options(fuzz_avi_reader PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz_avi_reader PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
