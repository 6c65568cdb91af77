#!/usr/bin/env bash
# Draws the about box's picture (about.jpg, 178 x 164, shown at half size): the product name
# under a recording mark on a dark blue gradient. Needs ImageMagick and the DejaVu fonts.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 178x164 gradient:'#16324f-#2a7f8f' \
  -fill 'rgba(255,255,255,0.10)' -draw 'circle 89,62 89,12' \
  -fill none -stroke '#f1f5f9' -strokewidth 5 -draw 'circle 89,62 89,28' \
  -stroke none -fill '#e63946' -draw 'circle 89,62 89,43' \
  -font DejaVu-Sans-Bold -pointsize 25 -fill '#f1f5f9' -gravity south \
  -annotate +0+26 'Orvenna' \
  -font DejaVu-Sans -pointsize 12 -fill '#cde3ea' -annotate +0+9 'screen recorder' \
  -quality 92 -sampling-factor 4:2:0 -strip about.jpg
