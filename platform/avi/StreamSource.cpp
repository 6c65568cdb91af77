#include "platform/avi/StreamSource.h"

#include "platform/avi/AviReader.h"
#include "platform/avi/WaveReader.h"

namespace orvenna::avi {

AviResult ReadStreams(const std::shared_ptr<File>& file, StreamSources& streams) {
  const std::int64_t length = file->Length();
  if (length < 0) return AVIERR_FILEREAD;
  RiffReader reader(*file, static_cast<std::uint64_t>(length));
  ChunkRef riff;
  std::uint32_t form = 0;
  AviResult result = reader.ReadChunk(0, reader.Length(), riff);
  if (result == AVIERR_OK) result = reader.ReadValue(riff.Data(), form);
  if (result == AVIERR_FILEREAD) return result;
  if (result != AVIERR_OK || riff.id != kRiff) return AVIERR_BADFORMAT;
  if (form == kAviForm) return ReadAviStreams(file, reader, riff, streams);
  if (form == kWaveForm) return ReadWaveStream(file, reader, riff, streams);
  return AVIERR_BADFORMAT;
}

}  // namespace orvenna::avi
