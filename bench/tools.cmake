add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tools ${CMAKE_CURRENT_BINARY_DIR}/tools)
