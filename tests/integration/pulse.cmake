# The PulseAudio backend against the private test sound server (PULSE_SERVER). The tests start
# servers of their own with the configuration of scripts/lib/sound.sh.
orvenna_test(pulse_wavein_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pulse_wavein_test.cpp
  LIBS orvenna_pulse
  LABELS sound)
target_compile_definitions(pulse_wavein_test PRIVATE
  ORVENNA_SOUND_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/lib/sound.sh")

orvenna_test(pulse_mixer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pulse_mixer_test.cpp
  LIBS orvenna_pulse orvenna_audio
  LABELS sound)
target_compile_definitions(pulse_mixer_test PRIVATE
  ORVENNA_SOUND_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/lib/sound.sh")
