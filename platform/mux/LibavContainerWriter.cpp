#include "platform/mux/LibavContainerWriter.h"

#include <memory>
#include <optional>
#include <vector>

#include "platform/avi/RiffReader.h"
#include "platform/avi/SaveSteps.h"
#include "platform/codec/LibavLog.h"
#include "platform/mux/AacEncoder.h"
#include "platform/mux/AacEncodingThread.h"
#include "platform/mux/FileIo.h"
#include "platform/mux/RawBitmapRows.h"
#include "platform/mux/StreamSetup.h"

namespace orvenna {
namespace {

using avi::StreamSource;

// Sound goes into the file in pieces of this many frames (about a tenth of a second at the
// usual rates), in turn with the pictures of the same time.
constexpr std::uint64_t kSoundPieceFrames = 4096;
// The percentage the copy reaches before the file's index is written (which, for MP4, moves
// the whole file once more).
constexpr int kCopyCeiling = 99;

// Copies a recording's streams into a Matroska or MP4 file, picture and sound in the order they
// play.
class ContainerCopy {
 public:
  ContainerCopy(Container container, File& output, const AVISAVECALLBACK& callback,
                std::shared_ptr<const StreamSource> video,
                std::shared_ptr<const StreamSource> sound);
  ~ContainerCopy();
  ContainerCopy(const ContainerCopy&) = delete;
  ContainerCopy& operator=(const ContainerCopy&) = delete;

  AviResult Run();

 private:
  AviResult Open();
  AviResult AddVideo();
  AviResult AddSound();
  AviResult Copy();
  // The playing time of the next picture and of the next piece of sound, in seconds; past the
  // end: none.
  std::optional<double> NextPictureTime() const;
  std::optional<double> NextSoundTime();
  AviResult CopyPicture();
  AviResult CopySound();
  // Sound pieces count their times in frames of sound.
  AVRational SoundTimeBase() const { return AVRational{1, static_cast<int>(wave_.samplesPerSec)}; }
  // Writes `packet`, whose times count in `timeBase`, into `stream`.
  AviResult Write(AVPacket& packet, AVStream* stream, AVRational timeBase);
  // What a failed write of the library comes to: a full disk, or a failed write.
  AviResult WriteFailure() const;

  Container container_;
  std::shared_ptr<const StreamSource> video_;
  std::shared_ptr<const StreamSource> sound_;
  avi::WaveFormat wave_;
  mux::FileIo io_;
  AVFormatContext* format_ = nullptr;
  AVStream* videoStream_ = nullptr;
  AVStream* soundStream_ = nullptr;
  std::optional<avi::ExtentReader> soundReader_;  // of sound copied as it is
  std::unique_ptr<mux::AacEncodingThread> aac_;   // of sound encoded to AAC
  AVRational aacTimeBase_{};
  std::optional<avi::SaveProgress> progress_;
  std::size_t nextPicture_ = 0;                // the next position that holds a picture
  std::optional<mux::RawBitmapRows> rawRows_;  // of uncompressed bitmaps
  std::vector<std::uint8_t> rawPicture_;
  std::vector<std::uint8_t> buffer_;
};

ContainerCopy::ContainerCopy(Container container, File& output, const AVISAVECALLBACK& callback,
                             std::shared_ptr<const StreamSource> video,
                             std::shared_ptr<const StreamSource> sound)
    : container_(container), video_(std::move(video)), sound_(std::move(sound)), io_(output) {
  std::uint64_t totalWork = 0;
  if (video_) {
    for (const avi::SampleExtent& sample : video_->samples) totalWork += sample.size;
    while (nextPicture_ < video_->samples.size() && video_->samples[nextPicture_].size == 0) {
      ++nextPicture_;
    }
  }
  if (sound_) {
    wave_ = avi::LoadPrefix<avi::WaveFormat>(sound_->format);
    totalWork += avi::ExtentReader(*sound_).Total();
  }
  progress_.emplace(callback, totalWork);
}

ContainerCopy::~ContainerCopy() {
  avformat_free_context(format_);
}

AviResult ContainerCopy::Run() {
  if (const AviResult opened = Open(); opened != AVIERR_OK) return opened;
  AviResult result = progress_->Report(0);
  if (result == AVIERR_OK) result = Copy();
  if (result == AVIERR_OK && aac_) result = aac_->Result();
  aac_.reset();
  // Even a save that was stopped leaves a complete file of what was copied.
  const int trailer = av_write_trailer(format_);
  io_.Flush();
  if (io_.WriteFailed() || (trailer < 0 && result == AVIERR_OK)) result = WriteFailure();
  if (result == AVIERR_OK) result = progress_->Report(100);
  return result;
}

AviResult ContainerCopy::Open() {
  const char* name = container_ == Container::Mp4 ? "mp4" : "matroska";
  if (avformat_alloc_output_context2(&format_, nullptr, name, nullptr) < 0) return AVIERR_MEMORY;
  io_.Attach(*format_);
  if (video_) {
    if (const AviResult result = AddVideo(); result != AVIERR_OK) return result;
  }
  if (sound_) {
    if (const AviResult result = AddSound(); result != AVIERR_OK) return result;
  }
  AVDictionary* options = nullptr;
  // MP4: the index before the pictures, so that a player starts before the file is all there.
  if (container_ == Container::Mp4) av_dict_set(&options, "movflags", "+faststart", 0);
  // Matroska: uncompressed bitmaps kept with their bitmap header, rows from the top.
  if (container_ == Container::Matroska) {
    av_dict_set(&options, "allow_raw_vfw", "1", 0);
  }
  const int written = avformat_write_header(format_, &options);
  av_dict_free(&options);
  if (written < 0) return io_.WriteFailed() ? WriteFailure() : AVIERR_UNSUPPORTED;
  return AVIERR_OK;
}

AviResult ContainerCopy::AddVideo() {
  videoStream_ = avformat_new_stream(format_, nullptr);
  if (!videoStream_) return AVIERR_MEMORY;
  if (const AviResult result = mux::SetUpVideo(container_, *video_, *videoStream_->codecpar);
      result != AVIERR_OK) {
    return result;
  }
  const AVISTREAMINFOA& info = video_->info;
  if (info.dwScale == 0 || info.dwRate == 0) return AVIERR_BADFORMAT;
  videoStream_->time_base =
      AVRational{static_cast<int>(info.dwScale), static_cast<int>(info.dwRate)};
  videoStream_->avg_frame_rate = av_inv_q(videoStream_->time_base);
  videoStream_->r_frame_rate = videoStream_->avg_frame_rate;
  if (videoStream_->codecpar->codec_id == AV_CODEC_ID_RAWVIDEO) {
    rawRows_.emplace(video_->format);
    if (rawRows_->Unchanged()) rawRows_.reset();
  }
  return AVIERR_OK;
}

AviResult ContainerCopy::AddSound() {
  if (wave_.blockAlign == 0 || wave_.avgBytesPerSec == 0) return AVIERR_BADFORMAT;
  soundStream_ = avformat_new_stream(format_, nullptr);
  if (!soundStream_) return AVIERR_MEMORY;
  soundStream_->time_base = SoundTimeBase();
  if (container_ != Container::Mp4) {
    soundReader_.emplace(*sound_);
    return mux::SetUpPcm(wave_, *soundStream_->codecpar);
  }
  // MP4 players play AAC; PCM in MP4 is played by few.
  auto encoder = mux::AacEncoder::Open(wave_, (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0);
  if (!encoder) return AVIERR_UNSUPPORTED;
  if (avcodec_parameters_from_context(soundStream_->codecpar, &encoder->Context()) < 0) {
    return AVIERR_MEMORY;
  }
  aacTimeBase_ = encoder->Context().time_base;
  aac_ = std::make_unique<mux::AacEncodingThread>(*sound_, std::move(encoder));
  return AVIERR_OK;
}

AviResult ContainerCopy::Copy() {
  for (;;) {
    const std::optional<double> picture = NextPictureTime();
    const std::optional<double> sound = NextSoundTime();
    if (!picture && !sound) return AVIERR_OK;
    const AviResult result =
        sound && (!picture || *sound <= *picture) ? CopySound() : CopyPicture();
    if (result != AVIERR_OK) return result;
  }
}

std::optional<double> ContainerCopy::NextPictureTime() const {
  if (!video_ || nextPicture_ >= video_->samples.size()) return std::nullopt;
  return static_cast<double>(nextPicture_) * video_->info.dwScale / video_->info.dwRate;
}

std::optional<double> ContainerCopy::NextSoundTime() {
  if (aac_) {
    const std::optional<std::int64_t> time = aac_->NextTime();
    if (!time) return std::nullopt;
    return static_cast<double>(*time) * aacTimeBase_.num / aacTimeBase_.den;
  }
  if (!soundReader_ || soundReader_->Position() >= soundReader_->Total()) return std::nullopt;
  return static_cast<double>(soundReader_->Position()) / wave_.avgBytesPerSec;
}

// A picture plays from its position until the next picture: positions without one (slots the
// recording had no frame for) keep the picture before them on the screen, and the last picture
// stays until the stream's end.
AviResult ContainerCopy::CopyPicture() {
  const std::vector<avi::SampleExtent>& samples = video_->samples;
  const avi::SampleExtent& sample = samples[nextPicture_];
  std::size_t next = nextPicture_ + 1;
  while (next < samples.size() && samples[next].size == 0) ++next;
  buffer_.assign(sample.size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  if (!video_->file->ReadAt(sample.offset, buffer_.data(), sample.size)) return AVIERR_FILEREAD;
  std::vector<std::uint8_t>* picture = &buffer_;
  std::size_t size = sample.size;
  if (rawRows_) {
    rawRows_->Convert(buffer_.data(), sample.size, rawPicture_);
    picture = &rawPicture_;
    size = rawPicture_.size();
  }
  AVPacket* packet = av_packet_alloc();
  if (!packet) return AVIERR_MEMORY;
  packet->data = picture->data();
  packet->size = static_cast<int>(size);
  packet->pts = packet->dts = static_cast<std::int64_t>(nextPicture_);
  packet->duration = static_cast<std::int64_t>(next - nextPicture_);
  if (sample.keyFrame) packet->flags |= AV_PKT_FLAG_KEY;
  AviResult result = Write(
      *packet, videoStream_,
      AVRational{static_cast<int>(video_->info.dwScale), static_cast<int>(video_->info.dwRate)});
  av_packet_free(&packet);
  nextPicture_ = next;
  if (result == AVIERR_OK) result = progress_->Advance(sample.size, kCopyCeiling);
  return result;
}

AviResult ContainerCopy::CopySound() {
  if (aac_) {
    const mux::PacketPointer packet = aac_->Take();
    const std::uint64_t work = static_cast<std::uint64_t>(packet->duration) * wave_.blockAlign;
    const AviResult result = Write(*packet, soundStream_, aacTimeBase_);
    return result == AVIERR_OK ? progress_->Advance(work, kCopyCeiling) : result;
  }
  const std::int64_t firstFrame =
      static_cast<std::int64_t>(soundReader_->Position() / wave_.blockAlign);
  if (const AviResult result = soundReader_->Read(kSoundPieceFrames * wave_.blockAlign, buffer_);
      result != AVIERR_OK) {
    return result;
  }
  const std::size_t frames = buffer_.size() / wave_.blockAlign;
  AVPacket* packet = av_packet_alloc();
  if (!packet) return AVIERR_MEMORY;
  packet->data = buffer_.data();
  packet->size = static_cast<int>(frames * wave_.blockAlign);
  packet->pts = packet->dts = firstFrame;
  packet->duration = static_cast<std::int64_t>(frames);
  packet->flags |= AV_PKT_FLAG_KEY;
  AviResult result = Write(*packet, soundStream_, SoundTimeBase());
  av_packet_free(&packet);
  if (result == AVIERR_OK) result = progress_->Advance(buffer_.size(), kCopyCeiling);
  return result;
}

AviResult ContainerCopy::Write(AVPacket& packet, AVStream* stream, AVRational timeBase) {
  packet.stream_index = stream->index;
  av_packet_rescale_ts(&packet, timeBase, stream->time_base);
  if (av_write_frame(format_, &packet) < 0) return WriteFailure();
  return AVIERR_OK;
}

AviResult ContainerCopy::WriteFailure() const {
  return io_.RanOutOfRoom() ? AVIERR_DISKFULL : AVIERR_FILEWRITE;
}

}  // namespace

AviResult LibavContainerWriter::SaveInto(Container container, File& output,
                                         const AVISAVECALLBACK& callback, int count,
                                         PAVISTREAM* streams) {
  if (container == Container::Avi) return AVISaveInto(output, callback, count, streams);
  InstallLibavLog();  // errors only: no notes of the muxer's passes or the encoder's averages
  return avi::SaveSortedStreams(output, count, streams, [&](auto video, auto sound) {
    return ContainerCopy(container, output, callback, std::move(video), std::move(sound)).Run();
  });
}

}  // namespace orvenna
