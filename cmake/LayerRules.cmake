# Which files make each layer, and which #include lines each may not have: headers of the
# desktop (Qt, X11, PulseAudio, PipeWire), of libav*/libsw*, of a platform backend, or of a
# layer above or beside it. Layers: platform (the interfaces and the portable services at the
# top of platform/), platform-backends (the folders inside platform/), audio, engine,
# selection, ui, cli.
set(ORVENNA_LAYERS platform platform-backends audio engine selection ui cli)
set(desktop_and_codecs
  "<Q[A-Za-z]*>" "<Qt[A-Za-z]*/" "<X11/" "<pulse/" "<pipewire/" "<spa/" "<xcb/" "<libav" "<libsw")
set(backends "\"platform/(x11|qt|codec|desktop|pulse|pipewire|portal|screencast|fake|resample|mux)/")
set(above_platform "\"(engine|audio|selection|ui|cli)/")

set(platform_files "platform/*.h" "platform/*.cpp")
set(platform_forbidden ${desktop_and_codecs} ${backends} ${above_platform})
set(platform-backends_files "platform/*/*.h" "platform/*/*.cpp")
set(platform-backends_forbidden ${above_platform})
set(audio_files "audio/*.h" "audio/*.cpp")
set(audio_forbidden ${desktop_and_codecs} ${backends} "\"(engine|selection|ui|cli)/")
set(engine_files "engine/*.h" "engine/*.cpp")
set(engine_forbidden ${desktop_and_codecs} ${backends} "\"(selection|ui|cli)/")
set(selection_files "selection/*.h" "selection/*.cpp")
set(selection_forbidden
  "<X11/" "<pulse/" "<pipewire/" "<spa/" "<libav" "<libsw"
  "\"platform/(x11|codec|desktop|pulse|pipewire|portal|screencast|fake|resample|avi|mux)/"
  "\"(ui|cli)/")
set(ui_files "ui/*.h" "ui/*.cpp")
set(ui_forbidden "<pulse/" "<pipewire/" "<spa/" "<libav" "<libsw" "\"platform/fake/" "\"cli/")
set(cli_files "cli/*.h" "cli/*.cpp")
set(cli_forbidden "<pulse/" "<pipewire/" "<spa/" "<libav" "<libsw" "\"platform/fake/" "\"ui/")

