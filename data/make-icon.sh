#!/usr/bin/env bash
# Draws Orvenna's application icon in the hicolor theme: the about picture's recording mark (a
# red dot in a white ring) on its dark blue gradient, as a rounded square. Writes the scalable
# SVG and renders it to PNG at the usual fixed sizes. Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p icons/hicolor && cd icons/hicolor
name=orvenna
mkdir -p scalable/apps
cat >scalable/apps/$name.svg <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <title>Orvenna</title>
  <defs>
    <linearGradient id="back" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#16324f"/>
      <stop offset="1" stop-color="#2a7f8f"/>
    </linearGradient>
  </defs>
  <rect x="8" y="8" width="240" height="240" rx="44" fill="url(#back)"/>
  <circle cx="128" cy="128" r="96" fill="#ffffff" fill-opacity="0.10"/>
  <circle cx="128" cy="128" r="68" fill="none" stroke="#f1f5f9" stroke-width="16"/>
  <circle cx="128" cy="128" r="40" fill="#e63946"/>
</svg>
SVG
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p ${size}x${size}/apps
  rsvg-convert -w $size -h $size scalable/apps/$name.svg -o ${size}x${size}/apps/$name.png
done
