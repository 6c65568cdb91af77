#include "platform/mux/StreamSetup.h"

#include <cstdlib>
#include <cstring>

#include "platform/Bitmap.h"
#include "platform/avi/RiffReader.h"

extern "C" {
#include <libavcodec/bsf.h>
}

namespace orvenna::mux {
namespace {

AVCodecID CodecOfCompression(std::uint32_t compression) {
  if (compression == 0 || compression == FourCC('D', 'I', 'B', ' ')) return AV_CODEC_ID_RAWVIDEO;
  const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
  return av_codec_get_id(tags, compression);
}

bool SetExtradata(AVCodecParameters& parameters, const std::uint8_t* data, std::size_t size) {
  av_freep(&parameters.extradata);
  parameters.extradata_size = 0;
  if (size == 0) return true;
  parameters.extradata =
      static_cast<std::uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!parameters.extradata) return false;
  std::memcpy(parameters.extradata, data, size);
  parameters.extradata_size = static_cast<int>(size);
  return true;
}

// The parameter sets that H.264 and MPEG-4 pictures carry in their key frames, which MP4 and
// Matroska files keep in the stream's header instead.
AviResult ExtractSetup(const avi::StreamSource& video, AVCodecParameters& parameters) {
  const avi::SampleExtent* first = nullptr;
  for (const avi::SampleExtent& sample : video.samples) {
    if (sample.size > 0) {
      first = &sample;
      break;
    }
  }
  if (!first) return AVIERR_OK;  // nothing to play, nothing to set up
  AVPacket* packet = av_packet_alloc();
  AVBSFContext* filter = nullptr;
  AviResult result = AVIERR_MEMORY;
  if (packet && av_new_packet(packet, static_cast<int>(first->size)) == 0) {
    result = AVIERR_FILEREAD;
    if (video.file->ReadAt(first->offset, packet->data, first->size)) {
      result = AVIERR_BADFORMAT;
      const AVBitStreamFilter* extract = av_bsf_get_by_name("extract_extradata");
      if (extract && av_bsf_alloc(extract, &filter) == 0 &&
          avcodec_parameters_copy(filter->par_in, &parameters) >= 0 && av_bsf_init(filter) == 0 &&
          av_bsf_send_packet(filter, packet) == 0 && av_bsf_receive_packet(filter, packet) == 0) {
        std::size_t size = 0;
        const std::uint8_t* setup =
            av_packet_get_side_data(packet, AV_PKT_DATA_NEW_EXTRADATA, &size);
        result = SetExtradata(parameters, setup, setup ? size : 0) ? AVIERR_OK : AVIERR_MEMORY;
      }
    }
  }
  av_bsf_free(&filter);
  av_packet_free(&packet);
  return result;
}

}  // namespace

AviResult SetUpVideo(Container container, const avi::StreamSource& video,
                     AVCodecParameters& parameters) {
  const auto header = avi::LoadPrefix<BitmapInfoHeader>(video.format);
  const AVCodecID codec = CodecOfCompression(header.compression);
  if (codec == AV_CODEC_ID_NONE) return AVIERR_UNSUPPORTED;
  if (container == Container::Mp4 && codec != AV_CODEC_ID_H264 && codec != AV_CODEC_ID_MPEG4) {
    return AVIERR_UNSUPPORTED;
  }
  parameters.codec_type = AVMEDIA_TYPE_VIDEO;
  parameters.codec_id = codec;
  // Matroska keeps the compressor's own code, which some decoders read their layout from;
  // MP4 names H.264 and MPEG-4 pictures its own way.
  parameters.codec_tag = container == Container::Matroska ? header.compression : 0;
  parameters.width = header.width;
  parameters.height = std::abs(header.height);
  parameters.bits_per_coded_sample = header.bitCount;
  if (codec == AV_CODEC_ID_RAWVIDEO && header.bitCount <= 8) parameters.format = AV_PIX_FMT_PAL8;
  const std::size_t headerSize = sizeof(BitmapInfoHeader);
  if (video.format.size() > headerSize &&
      !SetExtradata(parameters, video.format.data() + headerSize,
                    video.format.size() - headerSize)) {
    return AVIERR_MEMORY;
  }
  if ((codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_MPEG4) && parameters.extradata_size == 0) {
    return ExtractSetup(video, parameters);
  }
  return AVIERR_OK;
}

AviResult SetUpPcm(const avi::WaveFormat& wave, AVCodecParameters& parameters) {
  if (wave.formatTag != avi::WAVE_FORMAT_PCM || wave.channels == 0 || wave.samplesPerSec == 0) {
    return AVIERR_UNSUPPORTED;
  }
  switch (wave.bitsPerSample) {
    case 8:
      parameters.codec_id = AV_CODEC_ID_PCM_U8;
      break;
    case 16:
      parameters.codec_id = AV_CODEC_ID_PCM_S16LE;
      break;
    case 24:
      parameters.codec_id = AV_CODEC_ID_PCM_S24LE;
      break;
    case 32:
      parameters.codec_id = AV_CODEC_ID_PCM_S32LE;
      break;
    default:
      return AVIERR_UNSUPPORTED;
  }
  parameters.codec_type = AVMEDIA_TYPE_AUDIO;
  av_channel_layout_default(&parameters.ch_layout, wave.channels);
  parameters.sample_rate = static_cast<int>(wave.samplesPerSec);
  parameters.bits_per_coded_sample = wave.bitsPerSample;
  parameters.block_align = wave.blockAlign;
  parameters.bit_rate = static_cast<std::int64_t>(wave.avgBytesPerSec) * 8;
  return AVIERR_OK;
}

}  // namespace orvenna::mux
