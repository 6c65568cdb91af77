// libFuzzer target of the WAVE reader: any bytes are put into a memory stream and read as a
// wave file the way the recorder and the editing routines read one: its details, the sound
// locked in place and as a copy, a sequential read to the end, and a few edits that walk the
// samples in the file's own format. Whatever the bytes, each call must fail cleanly or give
// results that agree with the parsed header.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "audio/ByteStream.h"
#include "audio/WaveStorage.h"
#include "platform/resample/PcmResampler.h"

namespace {

using namespace orvenna;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every sound byte, read sequentially in odd-sized pieces.
std::int64_t ReadAll(TWaveStreamAdapter& wave) {
  if (!wave.BeginRead()) return -1;
  std::vector<std::uint8_t> buffer(333);
  std::int64_t total = 0;
  for (;;) {
    const std::int64_t got = wave.Read(buffer.data(), buffer.size());
    Check(got >= 0 && got <= static_cast<std::int64_t>(buffer.size()));
    if (got == 0) break;
    total += got;
  }
  Check(wave.EndRead());
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream stream;
  if (size != 0) Check(stream.Write(data, size) == static_cast<std::int64_t>(size));
  TWaveStreamAdapter wave(stream);
  if (!wave.Valid()) {
    Check(wave.WaveFormat() == nullptr && wave.Length() == 0 && !wave.BeginRead());
    return 0;
  }
  const WAVEFORMATEX* format = wave.WaveFormat();
  Check(format != nullptr);
  const WAVEFORMATEX header = *format;
  Check(wave.SameFormat(format));
  wave.Length();
  wave.MsToBytes(1000);
  const std::uint32_t dataSize = wave.DataSize();
  Check(wave.DataOffset() <= size);

  TWaveData view;
  if (wave.LockData(view, false)) {
    Check(view.Bytes().size() <= dataSize);
    Check(wave.UnlockData(view, false));
  }
  TWaveData copy;
  const bool locked = wave.LockData(copy, true);
  const std::size_t copied = locked ? copy.Bytes().size() : 0;
  if (locked) Check(wave.UnlockData(copy, false));
  const std::int64_t read = ReadAll(wave);
  Check(!locked || read == static_cast<std::int64_t>(copied));

  // A copy through the stream interface parses to the same header.
  TMemoryStream again;
  Check(wave.SaveToStream(again));
  again.Seek(0, SeekOrigin::Begin);
  TMemoryStream target;
  TWaveStreamAdapter reloaded(target);
  Check(reloaded.LoadFromStream(again) && reloaded.SameFormat(format));

  // Edits in the file's own format; each either changes the file or leaves it readable.
  wave.Invert();
  wave.ChangeVolume(-50);
  WAVEFORMATEX narrow = header;
  narrow.wFormatTag = 1;
  narrow.nChannels = 1;
  narrow.wBitsPerSample = 8;
  narrow.nBlockAlign = 1;
  narrow.nAvgBytesPerSec = narrow.nSamplesPerSec;
  narrow.cbSize = 0;
  // The same rate only: a rate from the input could make the converted sound arbitrarily long.
  PcmResamplingConverter converter;
  if (narrow.nSamplesPerSec >= 1000 && narrow.nSamplesPerSec <= 192000)
    wave.ConvertTo(narrow, converter);
  if (wave.Valid()) {
    wave.KeepRange(0, 1 + wave.Length() / 2);
    ReadAll(wave);
  }
  return 0;
}
