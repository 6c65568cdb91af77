# The PulseAudio backend against the private test sound server (PULSE_SERVER). The test starts
# servers of its own with the configuration of scripts/lib/sound.sh.
orvenna_test(pulse_wavein_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pulse_wavein_test.cpp
  LIBS orvenna_pulse
  LABELS sound)
target_compile_definitions(pulse_wavein_test PRIVATE
  ORVENNA_SOUND_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/lib/sound.sh")
