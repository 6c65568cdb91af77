// Cutting a wave file short in place: the data chunk's size, the RIFF size and the file's
// length, with the pad byte after an odd data size.

#include <cstring>

#include "audio/ByteStream.h"
#include "audio/WaveStorage.h"
#include "audio/WaveUtils.h"

namespace orvenna {
namespace {

bool WriteU32At(TStream& stream, std::int64_t offset, std::uint32_t value) {
  std::uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return stream.Seek(offset, SeekOrigin::Begin) == offset && stream.Write(bytes, 4) == 4;
}

}  // namespace

bool CutWaveFile(Files& files, const std::string& path, std::uint64_t frames) {
  const std::unique_ptr<TFileStream> file = TFileStream::OpenReadWrite(files, path);
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t blockAlign = 0;
  {
    TWaveStreamAdapter wave(*file);
    const WAVEFORMATEX* format = wave.WaveFormat();
    if (!format || format->nBlockAlign == 0) return false;
    offset = wave.DataOffset();
    size = wave.DataSize();
    blockAlign = format->nBlockAlign;
  }
  if (frames * blockAlign >= size) return true;
  const auto kept = static_cast<std::uint32_t>(frames * blockAlign);
  const std::uint32_t pad = kept % 2;
  const std::uint8_t zero = 0;
  return WriteU32At(*file, offset - 4, kept) && WriteU32At(*file, 4, offset + kept + pad - 8) &&
         (pad == 0 || (file->Seek(offset + kept, SeekOrigin::Begin) == offset + kept &&
                       file->Write(&zero, 1) == 1)) &&
         file->SetSize(offset + kept + pad);
}

}  // namespace orvenna
