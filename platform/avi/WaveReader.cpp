#include "platform/avi/WaveReader.h"

#include <algorithm>
#include <optional>

namespace orvenna::avi {
namespace {

constexpr std::uint32_t kMaxFormatSize = 4096;
constexpr int kMaxChunks = 10000;

}  // namespace

bool IsUsableWaveFormat(const WaveFormat& format) {
  if (format.channels == 0 || format.samplesPerSec == 0 || format.blockAlign == 0 ||
      format.avgBytesPerSec == 0) {
    return false;
  }
  if (format.formatTag != WAVE_FORMAT_PCM && format.formatTag != WAVE_FORMAT_IEEE_FLOAT &&
      format.formatTag != WAVE_FORMAT_EXTENSIBLE) {
    return true;
  }
  return format.bitsPerSample > 0 &&
         format.blockAlign == format.channels * ((format.bitsPerSample + 7) / 8) &&
         format.avgBytesPerSec == std::uint64_t{format.samplesPerSec} * format.blockAlign;
}

AviResult ReadWaveStream(const std::shared_ptr<File>& file, RiffReader& reader,
                         const ChunkRef& riff, StreamSources& streams) {
  const std::uint64_t end = FormEnd(riff, reader.Length());
  std::vector<std::uint8_t> format;
  std::optional<ChunkRef> data;
  std::uint64_t position = riff.Data() + 4;
  for (int count = 0; position < end && count < kMaxChunks; ++count) {
    ChunkRef chunk;
    const AviResult result = reader.ReadChunk(position, end, chunk);
    if (result == AVIERR_FILEREAD) return result;
    if (result != AVIERR_OK) break;
    if (chunk.id == kFmt && format.empty()) {
      if (chunk.size < sizeof(WaveFormat) || chunk.size > kMaxFormatSize) return AVIERR_BADFORMAT;
      format.resize(chunk.size);
      if (const AviResult r = reader.Read(chunk.Data(), format.data(), format.size());
          r != AVIERR_OK) {
        return r;
      }
    } else if (chunk.id == kData && !data) {
      data = chunk;
    }
    position = chunk.End();
  }
  if (format.empty() || !data) return AVIERR_BADFORMAT;
  const auto wave = LoadPrefix<WaveFormat>(format);
  if (!IsUsableWaveFormat(wave)) return AVIERR_BADFORMAT;

  // A data chunk cut short, or streamed with an unknown size, holds what the file holds. So
  // does one whose file stopped before any size was written (the RIFF and data sizes still 0).
  const std::uint64_t held = reader.Length() - data->Data();
  const bool unsized = riff.size == 0 && data->size == 0;
  std::uint64_t size = unsized ? held : std::min<std::uint64_t>(data->size, held);
  size -= size % wave.blockAlign;

  auto source = std::make_shared<StreamSource>();
  source->info.fccType = streamtypeAUDIO;
  source->info.dwScale = wave.blockAlign;
  source->info.dwRate = wave.avgBytesPerSec;
  source->info.dwSampleSize = wave.blockAlign;
  source->info.dwLength = static_cast<std::uint32_t>(size / wave.blockAlign);
  source->info.dwSuggestedBufferSize = wave.avgBytesPerSec;
  source->format = std::move(format);
  for (std::uint64_t offset = 0; offset < size;) {
    const std::uint64_t piece = std::min<std::uint64_t>(size - offset, kMaxChunkSize);
    source->samples.push_back({data->Data() + offset, static_cast<std::uint32_t>(piece), true});
    offset += piece;
  }
  source->file = file;
  streams.push_back(std::move(source));
  return AVIERR_OK;
}

}  // namespace orvenna::avi
