#include "codec_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace orvenna::codec_test {
namespace {

int Widen5(int v) {
  return (v << 3) | (v >> 2);
}

Rgb Widen555(const Rgb& c) {
  return {Widen5(c.red >> 3), Widen5(c.green >> 3), Widen5(c.blue >> 3)};
}

int PaletteIndex(const Rgb& c) {
  return (c.red >> 5) << 5 | (c.green >> 5) << 2 | c.blue >> 6;
}

AVCodecID DecoderFor(std::uint32_t fourcc) {
  static const std::map<std::uint32_t, AVCodecID> decoders = {
      {FourCC('M', 'S', 'V', 'C'), AV_CODEC_ID_MSVIDEO1},
      {FourCC('Z', 'M', 'B', 'V'), AV_CODEC_ID_ZMBV},
      {FourCC('H', '2', '6', '4'), AV_CODEC_ID_H264},
      {FourCC('F', 'M', 'P', '4'), AV_CODEC_ID_MPEG4},
      {FourCC('M', 'J', 'P', 'G'), AV_CODEC_ID_MJPEG},
      {FourCC('F', 'F', 'V', '1'), AV_CODEC_ID_FFV1},
      {FourCC('H', 'F', 'Y', 'U'), AV_CODEC_ID_HUFFYUV},
      {FourCC('U', 'L', 'R', 'G'), AV_CODEC_ID_UTVIDEO},
      {FourCC('c', 'v', 'i', 'd'), AV_CODEC_ID_CINEPAK},
      {FourCC('M', 'P', 'N', 'G'), AV_CODEC_ID_PNG},
  };
  auto found = decoders.find(fourcc);
  return found == decoders.end() ? AV_CODEC_ID_NONE : found->second;
}

int Clamp(double v) {
  return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0)));
}

// BT.601 YUV 4:2:0 to RGB, each chroma sample serving its 2 x 2 pixels (libswscale would
// stretch the chroma of odd sizes slightly).
Picture FromYuv420(const AVFrame& f, bool fullRange) {
  Picture picture{f.width, f.height, {}};
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) {
      const double luma = f.data[0][y * f.linesize[0] + x];
      const double cb = f.data[1][y / 2 * f.linesize[1] + x / 2] - 128.0;
      const double cr = f.data[2][y / 2 * f.linesize[2] + x / 2] - 128.0;
      const double yy = fullRange ? luma : (luma - 16) * 255 / 219;
      const double u = fullRange ? cb : cb * 255 / 224;
      const double v = fullRange ? cr : cr * 255 / 224;
      picture.pixels.push_back(
          {Clamp(yy + 1.402 * v), Clamp(yy - 0.344136 * u - 0.714136 * v), Clamp(yy + 1.772 * u)});
    }
  }
  return picture;
}

}  // namespace

Rgb PaletteColour(int index) {
  return {((index >> 5) & 7) * 255 / 7, ((index >> 2) & 7) * 255 / 7, (index & 3) * 255 / 3};
}

SyntheticFrames::SyntheticFrames(int width, int height, int bitsPerPixel)
    : width_(width), height_(height), bits_(bitsPerPixel) {
  BitmapInfoHeader header = Header();
  format_.resize(sizeof header + DibTableBytes(bits_));
  std::memcpy(format_.data(), &header, sizeof header);
  if (bits_ == 8) {
    for (int i = 0; i < 256; ++i) {
      const Rgb c = PaletteColour(i);
      RgbQuad quad{static_cast<std::uint8_t>(c.blue), static_cast<std::uint8_t>(c.green),
                   static_cast<std::uint8_t>(c.red), 0};
      std::memcpy(format_.data() + sizeof header + 4 * i, &quad, 4);
    }
  }
}

BitmapInfoHeader SyntheticFrames::Header() const {
  BitmapInfoHeader header;
  header.width = width_;
  header.height = height_;
  header.bitCount = static_cast<std::uint16_t>(bits_);
  header.sizeImage = static_cast<std::uint32_t>(DibRowBytes(width_, bits_) * height_);
  header.clrUsed = bits_ == 8 ? 256 : 0;
  return header;
}

Rgb SyntheticFrames::Picture(int n, int x, int y) const {
  // Lines and the square start at even positions and are two pixels thick or more, so that
  // halving the colour resolution (as 4:2:0 encoders do) costs little.
  const int side = std::max(4, height_ / 8 * 2);
  const int left = (n * 8) % std::max(2, width_ - side) / 2 * 2;
  const int top = (n * 6) % std::max(2, height_ - side) / 2 * 2;
  if (x >= left && x < left + side && y >= top && y < top + side) return {240, 40, 40};
  if (x % 16 < 2 || y % 16 < 2) return {48, 48, 48};
  return {x * 255 / width_, y * 255 / height_, 128};
}

Rgb SyntheticFrames::Colour(int n, int x, int y) const {
  const Rgb c = Picture(n, x, y);
  switch (bits_) {
    case 8:
      return PaletteColour(PaletteIndex(c));
    case 16:
      return Widen555(c);
    default:
      return c;
  }
}

std::vector<std::uint8_t> SyntheticFrames::ScreenPixels(int n) const {
  std::vector<std::uint8_t> pixels;
  pixels.reserve(4 * static_cast<std::size_t>(width_) * height_);
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const Rgb colour = Colour(n, x, y);
      for (int channel : {colour.blue, colour.green, colour.red, 0xA5}) {
        pixels.push_back(static_cast<std::uint8_t>(channel));
      }
    }
  }
  return pixels;
}

std::vector<std::uint8_t> SyntheticFrames::Pixels(int n) const {
  const std::size_t rowBytes = DibRowBytes(width_, bits_);
  std::vector<std::uint8_t> pixels(rowBytes * static_cast<std::size_t>(height_));
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* row = pixels.data() + rowBytes * static_cast<std::size_t>(height_ - 1 - y);
    for (int x = 0; x < width_; ++x) {
      const Rgb c = Picture(n, x, y);
      switch (bits_) {
        case 8:
          row[x] = static_cast<std::uint8_t>(PaletteIndex(c));
          break;
        case 16: {
          const int v = (c.red >> 3) << 10 | (c.green >> 3) << 5 | c.blue >> 3;
          row[2 * x] = static_cast<std::uint8_t>(v);
          row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
          break;
        }
        default: {
          std::uint8_t* p = row + x * (bits_ / 8);
          p[0] = static_cast<std::uint8_t>(c.blue);
          p[1] = static_cast<std::uint8_t>(c.green);
          p[2] = static_cast<std::uint8_t>(c.red);
          if (bits_ == 32) p[3] = 0;
        }
      }
    }
  }
  return pixels;
}

std::vector<std::uint8_t> CodedFormat(int width, int height, int bitCount, std::uint32_t fourcc) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = static_cast<std::uint16_t>(bitCount);
  header.compression = fourcc;
  std::vector<std::uint8_t> format(sizeof header);
  std::memcpy(format.data(), &header, sizeof header);
  return format;
}

Picture PictureFromRgb24(int width, int height, const std::uint8_t* bytes) {
  Picture picture{width, height, {}};
  const std::size_t count = static_cast<std::size_t>(width) * height;
  picture.pixels.reserve(count);
  for (std::size_t i = 0; i < count; ++i, bytes += 3) {
    picture.pixels.push_back({bytes[0], bytes[1], bytes[2]});
  }
  return picture;
}

struct StreamDecoder::State {
  AVCodecContext* context = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* scaler = nullptr;

  ~State() {
    sws_freeContext(scaler);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
  }

  Picture ToPicture(const AVFrame& f) {
    const auto format = static_cast<AVPixelFormat>(f.format);
    if (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) {
      return FromYuv420(f, f.color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P);
    }
    scaler =
        sws_getCachedContext(scaler, f.width, f.height, format, f.width, f.height, AV_PIX_FMT_RGB24,
                             SWS_POINT | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    const bool fullRange = f.color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
                           format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P;
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler, bt601, fullRange ? 1 : 0, bt601, 1, 0, 1 << 16, 1 << 16);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(f.width * f.height * 3));
    std::uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {f.width * 3, 0, 0, 0};
    sws_scale(scaler, f.data, f.linesize, 0, f.height, planes, strides);
    return PictureFromRgb24(f.width, f.height, rgb.data());
  }

  bool Drain(std::vector<Picture>& pictures) {
    for (;;) {
      const int result = avcodec_receive_frame(context, frame);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
      if (result < 0) return false;
      pictures.push_back(ToPicture(*frame));
      av_frame_unref(frame);
    }
  }
};

StreamDecoder::StreamDecoder(const std::vector<std::uint8_t>& format)
    : state_(std::make_unique<State>()) {
  Open(format);
}

void StreamDecoder::Open(const std::vector<std::uint8_t>& format) {
  BitmapInfoHeader header;
  std::memcpy(&header, format.data(), sizeof header);
  const AVCodec* decoder = avcodec_find_decoder(DecoderFor(header.compression));
  ASSERT_NE(decoder, nullptr) << "no decoder for the stream's four-character code";
  state_->context = avcodec_alloc_context3(decoder);
  AVCodecContext& c = *state_->context;
  c.width = header.width;
  c.height = header.height;
  c.bits_per_coded_sample = header.bitCount;
  c.codec_tag = header.compression;
  c.thread_count = 1;
  const std::size_t extra = format.size() - sizeof header;
  if (extra > 0) {
    c.extradata = static_cast<std::uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(c.extradata, format.data() + sizeof header, extra);
    c.extradata_size = static_cast<int>(extra);
  }
  ASSERT_GE(avcodec_open2(&c, decoder, nullptr), 0);
  state_->frame = av_frame_alloc();
  state_->packet = av_packet_alloc();
}

StreamDecoder::~StreamDecoder() = default;

std::vector<Picture> StreamDecoder::Decode(const std::vector<std::vector<std::uint8_t>>& packets) {
  std::vector<Picture> pictures;
  if (!state_->packet) return pictures;
  for (const auto& data : packets) {
    av_packet_unref(state_->packet);
    if (av_new_packet(state_->packet, static_cast<int>(data.size())) < 0) return {};
    std::memcpy(state_->packet->data, data.data(), data.size());
    if (avcodec_send_packet(state_->context, state_->packet) < 0 || !state_->Drain(pictures)) {
      return {};
    }
  }
  if (avcodec_send_packet(state_->context, nullptr) < 0 || !state_->Drain(pictures)) return {};
  return pictures;
}

double Psnr(const SyntheticFrames& frames, int n, const Picture& decoded) {
  double squares = 0;
  for (int y = 0; y < frames.Height(); ++y) {
    for (int x = 0; x < frames.Width(); ++x) {
      const Rgb want = frames.Colour(n, x, y);
      const Rgb got = decoded.At(x, y);
      for (int d : {want.red - got.red, want.green - got.green, want.blue - got.blue}) {
        squares += d * d;
      }
    }
  }
  if (squares == 0) return 100;
  const double mse = squares / (3.0 * frames.Width() * frames.Height());
  return 10 * std::log10(255.0 * 255.0 / mse);
}

int DifferingPixels(const SyntheticFrames& frames, int n, const Picture& decoded) {
  int differing = 0;
  for (int y = 0; y < frames.Height(); ++y) {
    for (int x = 0; x < frames.Width(); ++x) {
      if (decoded.At(x, y) != frames.Colour(n, x, y)) ++differing;
    }
  }
  return differing;
}

}  // namespace orvenna::codec_test
