// AVISaveV: a new AVI file from a video stream and an audio stream read from files, copied
// chunk by chunk without recompressing, audio and video interleaved about once per second.

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>

#include "platform/avi/Avi.h"
#include "platform/avi/AviMuxer.h"
#include "platform/avi/Handles.h"
#include "platform/avi/RiffReader.h"
#include "platform/avi/SaveSteps.h"

namespace orvenna {
namespace {

using avi::StreamSource;

// Audio chunks hold at least this much (so audio of a very low byte rate does not turn into
// countless tiny chunks) and at most this much (so no chunk needs a huge buffer).
constexpr std::uint64_t kMinAudioChunk = 4096;
constexpr std::uint64_t kMaxAudioChunk = 1 << 20;
// Temporary names tried before a folder full of them is given up.
constexpr int kTemporaryNameAttempts = 16;

std::uint64_t MultiplySaturated(std::uint64_t a, std::uint64_t b) {
  if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  return a * b;
}

std::uint64_t RoundDown(std::uint64_t value, std::uint64_t unit) {
  return value - value % unit;
}

// Copies the streams into a muxer, one second of playback after the other: first the audio
// up to the end of that second, then the video frames that start in it.
class Saver {
 public:
  Saver(File& output, std::shared_ptr<const StreamSource> video,
        std::shared_ptr<const StreamSource> audio, const AVISAVECALLBACK& callback);
  AviResult Run();

 private:
  std::vector<avi::MuxStreamSetup> Setups() const;
  AviResult Copy();
  AviResult CopyVideo(std::uint64_t end);
  AviResult CopyAudio(std::uint64_t end);
  // Frames that start before second `second` ends; audio bytes up to the end of that second.
  std::uint64_t VideoEnd(std::uint64_t second) const;
  std::uint64_t AudioEnd(std::uint64_t second) const;
  // The second in which the next frame or audio byte plays.
  std::uint64_t NextSecond() const;
  std::uint64_t NextAudioByte() const { return audioReader_ ? audioReader_->Position() : 0; }

  File& output_;
  std::shared_ptr<const StreamSource> video_;
  std::shared_ptr<const StreamSource> audio_;
  int videoIndex_ = -1;
  int audioIndex_ = -1;
  avi::WaveFormat wave_;
  std::uint64_t audioBytes_ = 0;
  std::uint64_t audioBlock_ = 1;
  std::size_t nextFrame_ = 0;
  std::optional<avi::ExtentReader> audioReader_;
  std::optional<avi::SaveProgress> progress_;
  std::vector<std::uint8_t> buffer_;
  std::optional<avi::AviMuxer> muxer_;
};

Saver::Saver(File& output, std::shared_ptr<const StreamSource> video,
             std::shared_ptr<const StreamSource> audio, const AVISAVECALLBACK& callback)
    : output_(output), video_(std::move(video)), audio_(std::move(audio)) {
  int streams = 0;
  std::uint64_t totalWork = 0;
  if (video_) {
    videoIndex_ = streams++;
    for (const avi::SampleExtent& sample : video_->samples) {
      totalWork += sample.size + sizeof(avi::ChunkHeader);
    }
  }
  if (audio_) {
    audioIndex_ = streams++;
    wave_ = avi::LoadPrefix<avi::WaveFormat>(audio_->format);
    audioBlock_ = wave_.blockAlign;
    audioReader_.emplace(*audio_);
    audioBytes_ = audioReader_->Total();
    totalWork += audioBytes_;
  }
  progress_.emplace(callback, totalWork);
}

std::vector<avi::MuxStreamSetup> Saver::Setups() const {
  std::vector<avi::MuxStreamSetup> setups;
  if (video_) setups.push_back({video_->info, video_->format});
  if (audio_) {
    AVISTREAMINFOA info = audio_->info;
    info.dwScale = wave_.blockAlign;
    info.dwRate = wave_.avgBytesPerSec;
    info.dwSampleSize = wave_.blockAlign;
    info.dwStart = 0;
    info.dwSuggestedBufferSize = static_cast<std::uint32_t>(std::min(
        {audioBytes_, RoundDown(kMaxAudioChunk, audioBlock_),
         RoundDown(std::max<std::uint64_t>(wave_.avgBytesPerSec, kMinAudioChunk), audioBlock_) +
             audioBlock_}));
    setups.push_back({info, audio_->format});
  }
  return setups;
}

AviResult Saver::Run() {
  muxer_.emplace(output_, Setups());
  AviResult result = progress_->Report(0);
  if (result == AVIERR_OK) result = Copy();
  if (result == AVIERR_OK) result = progress_->Report(100);
  // Even a save that was stopped leaves a complete file of what was copied.
  const bool finished = muxer_->Finish();
  if (result == AVIERR_OK && !finished) result = AVIERR_FILEWRITE;
  return result;
}

AviResult Saver::Copy() {
  const std::size_t frames = video_ ? video_->samples.size() : 0;
  while (nextFrame_ < frames || NextAudioByte() < audioBytes_) {
    const std::uint64_t second = NextSecond();
    if (const AviResult result = CopyAudio(AudioEnd(second)); result != AVIERR_OK) return result;
    if (const AviResult result = CopyVideo(VideoEnd(second)); result != AVIERR_OK) return result;
  }
  return AVIERR_OK;
}

std::uint64_t Saver::NextSecond() const {
  std::uint64_t second = std::numeric_limits<std::uint64_t>::max();
  if (video_ && nextFrame_ < video_->samples.size()) {
    second = MultiplySaturated(nextFrame_, video_->info.dwScale) / video_->info.dwRate;
  }
  if (NextAudioByte() < audioBytes_) {
    second = std::min<std::uint64_t>(second, NextAudioByte() / wave_.avgBytesPerSec);
  }
  return second;
}

std::uint64_t Saver::VideoEnd(std::uint64_t second) const {
  if (!video_) return 0;
  const std::uint64_t scale = video_->info.dwScale;
  const std::uint64_t ticks = MultiplySaturated(second + 1, video_->info.dwRate);
  const std::uint64_t frames = ticks / scale + (ticks % scale != 0 ? 1 : 0);
  return std::min<std::uint64_t>(frames, video_->samples.size());
}

std::uint64_t Saver::AudioEnd(std::uint64_t second) const {
  if (!audio_) return 0;
  const std::uint64_t byTime =
      RoundDown(MultiplySaturated(second + 1, wave_.avgBytesPerSec), audioBlock_);
  const std::uint64_t byMinimum =
      NextAudioByte() + RoundDown(kMinAudioChunk, audioBlock_) + audioBlock_;
  return std::min(audioBytes_, std::max(byTime, byMinimum));
}

AviResult Saver::CopyVideo(std::uint64_t end) {
  for (; nextFrame_ < end; ++nextFrame_) {
    const avi::SampleExtent& sample = video_->samples[nextFrame_];
    buffer_.resize(sample.size);
    if (sample.size > 0 && !video_->file->ReadAt(sample.offset, buffer_.data(), sample.size)) {
      return AVIERR_FILEREAD;
    }
    if (!muxer_->WriteChunk(videoIndex_, buffer_.data(), sample.size, sample.keyFrame)) {
      return AVIERR_FILEWRITE;
    }
    if (const AviResult result = progress_->Advance(sample.size + sizeof(avi::ChunkHeader));
        result != AVIERR_OK) {
      return result;
    }
  }
  return AVIERR_OK;
}

AviResult Saver::CopyAudio(std::uint64_t end) {
  while (NextAudioByte() < end) {
    const std::uint64_t size =
        std::min(end - NextAudioByte(), RoundDown(kMaxAudioChunk, audioBlock_));
    if (const AviResult result = audioReader_->Read(size, buffer_); result != AVIERR_OK) {
      return result;
    }
    if (!muxer_->WriteChunk(audioIndex_, buffer_.data(), static_cast<std::uint32_t>(size), true)) {
      return AVIERR_FILEWRITE;
    }
    if (const AviResult result = progress_->Advance(size); result != AVIERR_OK) return result;
  }
  return AVIERR_OK;
}

}  // namespace

std::unique_ptr<File> AVICreateSaveFile(Files& files, const std::string& folder,
                                        std::string& path) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%012llx", kAviSaveFilePrefix,
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    path = folder + name;
    if (std::unique_ptr<File> file = files.Open(path, OpenMode::CreateNew)) return file;
    if (!files.Exists(path)) return nullptr;  // the folder refuses new files
  }
  return nullptr;
}

AviResult AVISaveInto(File& output, const AVISAVECALLBACK& callback, int count,
                      PAVISTREAM* streams) {
  // Streams are saved as they stand. The video stream comes first; a missing video stream
  // leaves the audio to be saved alone.
  std::shared_ptr<const StreamSource> video;
  std::shared_ptr<const StreamSource> audio;
  if (const AviResult sorted = avi::SortSavedStreams(count, streams, video, audio);
      sorted != AVIERR_OK) {
    return sorted;
  }
  return avi::FinishSavedFile(output,
                              Saver(output, std::move(video), std::move(audio), callback).Run());
}

AviResult AVISaveV(Files& files, const std::string& path, const AVISAVECALLBACK& callback,
                   int count, PAVISTREAM* streams, AVICOMPRESSOPTIONS** /*options*/) {
  // Compression options are not looked at: nothing is recompressed.
  if (count < 1 || count > 2 || streams == nullptr) return AVIERR_BADPARAM;
  const std::size_t slash = path.rfind('/');
  std::string temporary;
  std::unique_ptr<File> output = AVICreateSaveFile(
      files, slash == std::string::npos ? "" : path.substr(0, slash + 1), temporary);
  if (!output) return AVIERR_FILEOPEN;
  AviResult result = AVISaveInto(*output, callback, count, streams);
  output.reset();
  const bool kept = (result == AVIERR_OK || result == AVIERR_USERABORT);
  if (kept && files.Rename(temporary, path)) return result;
  static_cast<void>(files.Delete(temporary));  // what is left of an unfinished copy
  return kept ? AVIERR_FILEWRITE : result;
}

}  // namespace orvenna
