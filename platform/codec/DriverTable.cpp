#include "platform/Bitmap.h"
#include "platform/codec/LibavDriverDescription.h"

namespace orvenna {
namespace {

using Formats = std::vector<AVPixelFormat>;

// The same encoder input for every depth.
std::array<Formats, 4> Always(AVPixelFormat format) {
  return {Formats{format}, Formats{format}, Formats{format}, Formats{format}};
}

LibavDriverDescription H264() {
  LibavDriverDescription d;
  d.handler = FourCC('H', '2', '6', '4');
  d.encoder = "libx264";
  d.shortName = "H.264";
  d.description = "H.264 - x264 H.264 / AVC";
  // 4:2:0 is what every player decodes; it needs even sizes, which the encoder enforces.
  d.formats = Always(AV_PIX_FMT_YUV420P);
  d.quality = QualityControl::kRateFactor;
  d.scale = kH264RateFactor;
  d.threading = Threading::kEncoder;
  d.temporal = true;
  // No look-ahead and slice threads only: every frame comes out as soon as it goes in.
  d.options = {{"tune", "zerolatency"}};
  d.configurePrompt = "Speed preset:";
  for (const char* preset :
       {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow"}) {
    d.choices.push_back({preset, {{"preset", preset}}});
  }
  d.defaultChoice = 2;  // veryfast: full HD in real time on two cores, much smaller files
  // Larger frames step down, so that 30 frames a second stay within reach of two cores:
  // superfast above full HD, ultrafast above twice that (at 4K veryfast takes 2.6 times as long
  // a frame as ultrafast, and files grow by half per frame).
  d.largeFrameChoices = {{1920 * 1080, 1}, {2 * 1920 * 1080, 0}};
  return d;
}

LibavDriverDescription Mpeg4() {
  LibavDriverDescription d;
  d.handler = FourCC('F', 'M', 'P', '4');
  d.encoder = "mpeg4";
  d.shortName = "MPEG-4";
  d.description = "MPEG-4 - MPEG-4 Part 2 Video";
  d.formats = Always(AV_PIX_FMT_YUV420P);
  d.quality = QualityControl::kFixedQuantiser;
  d.scale = kMpegQuantiser;
  d.threading = Threading::kSlices;
  d.temporal = true;
  return d;
}

LibavDriverDescription MotionJpeg() {
  LibavDriverDescription d;
  d.handler = FourCC('M', 'J', 'P', 'G');
  d.encoder = "mjpeg";
  d.shortName = "Motion JPEG";
  d.description = "Motion JPEG - Motion JPEG";
  d.formats = Always(AV_PIX_FMT_YUV420P);
  d.fullRangeYuv = true;  // JPEG's own range
  d.quality = QualityControl::kFixedQuantiser;
  d.scale = kMpegQuantiser;
  d.threading = Threading::kSlices;
  return d;
}

LibavDriverDescription Ffv1() {
  LibavDriverDescription d;
  d.handler = FourCC('F', 'F', 'V', '1');
  d.encoder = "ffv1";
  d.shortName = "FFV1";
  d.description = "FFV1 - FFmpeg Video Codec 1 (lossless)";
  d.formats = Always(AV_PIX_FMT_BGR0);
  d.threading = Threading::kSlices;
  d.temporal = true;  // frames between key frames carry on the coder's statistics
  // Version 3 codes each frame in independent slices (one per thread) with checksums.
  d.options = {{"level", "3"}};
  return d;
}

LibavDriverDescription HuffYuv() {
  LibavDriverDescription d;
  d.handler = FourCC('H', 'F', 'Y', 'U');
  d.encoder = "huffyuv";
  d.shortName = "HuffYUV";
  d.description = "HuffYUV - Huffman Lossless Codec (RGB)";
  d.formats = Always(AV_PIX_FMT_RGB24);  // the spare byte of 32-bit pixels carries nothing
  d.threading = Threading::kFrames;      // every frame stands alone
  return d;
}

LibavDriverDescription UtVideo() {
  LibavDriverDescription d;
  d.handler = FourCC('U', 'L', 'R', 'G');  // the Ut Video code of planar RGB
  d.encoder = "utvideo";
  d.shortName = "Ut Video";
  d.description = "Ut Video - Ut Video Lossless Codec (RGB)";
  d.formats = Always(AV_PIX_FMT_GBRP);
  d.threading = Threading::kFrames;  // every frame stands alone
  return d;
}

LibavDriverDescription Cinepak() {
  LibavDriverDescription d;
  d.handler = FourCC('c', 'v', 'i', 'd');
  d.encoder = "cinepak";
  d.shortName = "Cinepak";
  d.description = "Cinepak - Cinepak Codec";
  d.formats = Always(AV_PIX_FMT_RGB24);
  d.quality = QualityControl::kFrameWeight;
  d.scale = kCinepakWeight;
  d.temporal = true;
  return d;
}

LibavDriverDescription Png() {
  LibavDriverDescription d;
  d.handler = FourCC('M', 'P', 'N', 'G');
  d.encoder = "png";
  d.shortName = "PNG";
  d.description = "PNG - Portable Network Graphics frames (lossless)";
  // 8-bit frames stay indexed, with their colours in each picture.
  d.formats = {Formats{AV_PIX_FMT_PAL8}, Formats{AV_PIX_FMT_RGB24}, Formats{AV_PIX_FMT_RGB24},
               Formats{AV_PIX_FMT_RGB24}};
  d.threading = Threading::kFrames;  // every frame stands alone
  // Rows predicted from the row above (text and window edges repeat down a screen) and a
  // light deflate: under half the time of the defaults at about the same size.
  d.options = {{"compression_level", "3"}, {"pred", "up"}};
  return d;
}

}  // namespace

std::vector<LibavDriverDescription> StandardDriverDescriptions() {
  // H.264 comes first, the compressor a new recording starts with: on a two-core machine it
  // keeps every frame of a full-HD screen at 30 frames/s with the smallest files of all, and
  // every common player reads it.
  return {H264(), Mpeg4(), MotionJpeg(), Ffv1(), HuffYuv(), UtVideo(), Cinepak(), Png()};
}

}  // namespace orvenna
