#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking Orvenna needs.
# Idempotent: packages already present are left alone, so a second run costs one dpkg query.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format git
  # libraries the programs link
  qt6-base-dev libx11-dev libxext-dev libxfixes-dev libxdamage-dev libxtst-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libpulse-dev libjpeg-dev zlib1g-dev
  # Wayland: the ScreenCast portal over D-Bus (GDBus), its PipeWire streams, Qt's Wayland plugin
  libglib2.0-dev libpipewire-0.3-dev qt6-wayland
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb x11-utils x11-xserver-utils xdotool openbox ffmpeg pulseaudio pulseaudio-utils imagemagick
  xterm
  # a headless GNOME desktop with the ScreenCast portal, for the Wayland tests
  mutter pipewire pipewire-bin pipewire-pulse wireplumber xdg-desktop-portal
  xdg-desktop-portal-gnome
  libgl1-mesa-dri gstreamer1.0-pipewire gstreamer1.0-tools dbus-daemon libglib2.0-bin
  # the Wayland benchmark: an animating client, and GStreamer's encoders and AVI muxer beside ours
  weston gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  # MP4 and Matroska recordings read by a second reader (H.264 needs the bad plugins' parser,
  # AAC the libav plugin) and played by a real browser, which a Python program drives
  gstreamer1.0-plugins-bad gstreamer1.0-libav chromium python3
  # the benchmarks' peak memory (/usr/bin/time)
  time
  # the Debian package and the checks of what it installs
  dpkg-dev desktop-file-utils appstream man-db librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  echo "deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "deps: installing ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  echo "deps: must run as root to install packages (try: sudo $0)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
