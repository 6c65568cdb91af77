# The PipeWire backend's frame keeping and metadata reading, without a daemon.
pkg_check_modules(PIPEWIRE_UNIT REQUIRED IMPORTED_TARGET libpipewire-0.3)
orvenna_test(platform_pipewire_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_pipewire_test.cpp
  LIBS orvenna_pipewire PkgConfig::PIPEWIRE_UNIT)
