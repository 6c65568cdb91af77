# Sourced by the benchmarks that set ffmpeg beside our compressors.
#
# ffmpeg_encoder: our drivers' settings at quality 75 (7500) as ffmpeg options, each encoder
# in the pixel format ours feeds it: H.264 crf 18 with the driver's default preset, MPEG-4 and
# Motion JPEG fixed quantiser 3, PNG deflate level 3 with the "up" filter. MS Video 1 and ZMBV
# are our own coders; ffmpeg runs its encoders of the same formats, ZMBV with its lightest
# deflate and shortest motion search (ours has no motion search and deflates at level 1), and
# as "ZMBV-default" at its defaults.
declare -A ffmpeg_encoder=(
  [H264]="-c:v libx264 -preset veryfast -tune zerolatency -crf 18 -bf 0 -pix_fmt yuv420p"
  [MJPG]="-c:v mjpeg -q:v 3 -pix_fmt yuvj420p"
  [FMP4]="-c:v mpeg4 -q:v 3 -bf 0 -pix_fmt yuv420p"
  [HFYU]="-c:v huffyuv -pix_fmt rgb24"
  [ULRG]="-c:v utvideo -pix_fmt gbrp"
  [FFV1]="-c:v ffv1 -level 3 -pix_fmt bgr0"
  [ZMBV]="-c:v zmbv -compression_level 1 -me_range 1 -pix_fmt bgr0"
  [ZMBV-default]="-c:v zmbv -pix_fmt bgr0"
  [MSVC]="-c:v msvideo1 -pix_fmt rgb555le"
  [cvid]="-c:v cinepak -pix_fmt rgb24"
  [MPNG]="-c:v png -compression_level 3 -pred up -pix_fmt rgb24"
  ["DIB "]="-c:v rawvideo -pix_fmt bgr0"
)

# The preset our H.264 driver takes for a WIDTH x HEIGHT frame until one is picked: veryfast,
# superfast above full HD, ultrafast above twice that.
x264_preset() {
  local pixels=$(($1 * $2))
  if ((pixels > 2 * 1920 * 1080)); then
    echo ultrafast
  elif ((pixels > 1920 * 1080)); then
    echo superfast
  else
    echo veryfast
  fi
}
