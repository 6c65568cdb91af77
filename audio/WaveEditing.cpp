// The whole-file editing operations of TWaveStreamAdapter. Except for the two that work in
// place, each builds the new sound in memory first and then rewrites the file with it, so a
// wave may be edited with parts of itself.

#include <algorithm>

#include "audio/WaveStorage.h"
#include "audio/WaveUtils.h"

namespace orvenna {

std::optional<std::vector<std::uint8_t>> TWaveStreamAdapter::CopySound() {
  TWaveData data;
  if (!LockData(data, true)) return std::nullopt;
  return std::move(data.copy_);
}

bool TWaveStreamAdapter::EditInPlace(
    const std::function<bool(std::span<std::uint8_t>, const WAVEFORMATEX&)>& edit) {
  TWaveData data;
  if (!LockData(data, false)) return false;
  const bool handled = edit(data.Bytes(), Record());
  return UnlockData(data, handled) && handled;
}

// `format` is written out before the rewrite parses the file again, so it may be this
// adapter's own record.
bool TWaveStreamAdapter::RewriteWith(const WAVEFORMATEX& format,
                                     std::span<const std::uint8_t> sound) {
  if (!BeginRewrite(format)) return false;
  const bool written = Write(sound.data(), sound.size()) == static_cast<std::int64_t>(sound.size());
  return EndRewrite() && written;
}

bool TWaveStreamAdapter::RangeOf(std::uint32_t position, std::uint32_t length, std::size_t& begin,
                                 std::size_t& end) {
  if (!Valid() || length == 0 || position >= Length()) return false;
  begin = std::min(MsToBytes(position), dataSize_);
  end = std::min<std::size_t>(begin + std::size_t{MsToBytes(length)}, dataSize_);
  return true;
}

bool TWaveStreamAdapter::InsertSound(std::uint32_t position,
                                     std::span<const std::uint8_t> inserted) {
  std::optional<std::vector<std::uint8_t>> sound = CopySound();
  if (!sound) return false;
  const auto at = sound->begin() + std::min(MsToBytes(position), dataSize_);
  sound->insert(at, inserted.begin(), inserted.end());
  return RewriteWith(Record(), *sound);
}

bool TWaveStreamAdapter::Invert() {
  return EditInPlace(ReverseSamples);
}

bool TWaveStreamAdapter::ChangeVolume(int percent) {
  return EditInPlace([percent](std::span<std::uint8_t> data, const WAVEFORMATEX& format) {
    return ScaleVolume(data, format, percent);
  });
}

bool TWaveStreamAdapter::ConvertTo(const WAVEFORMATEX& format, AudioConverter& converter) {
  if (SameFormat(&format)) return true;
  TWaveData data;
  if (!LockData(data, false)) return false;
  std::vector<std::uint8_t> converted;
  const bool convertible = ConvertWaveData(converter, Record(), data.Bytes(), converted, format);
  UnlockData(data, false);
  return convertible && RewriteWith(format, converted);
}

bool TWaveStreamAdapter::CopyFrom(TWaveStreamAdapter& wave, std::uint32_t position,
                                  std::uint32_t length) {
  std::size_t begin = 0;
  std::size_t end = 0;
  if (!wave.RangeOf(position, length, begin, end)) return false;
  const std::optional<std::vector<std::uint8_t>> sound = wave.CopySound();
  return sound && RewriteWith(wave.Record(), std::span(*sound).subspan(begin, end - begin));
}

bool TWaveStreamAdapter::KeepRange(std::uint32_t position, std::uint32_t length) {
  return CopyFrom(*this, position, length);
}

bool TWaveStreamAdapter::Delete(std::uint32_t position, std::uint32_t length) {
  std::size_t begin = 0;
  std::size_t end = 0;
  if (!RangeOf(position, length, begin, end)) return false;
  std::optional<std::vector<std::uint8_t>> sound = CopySound();
  if (!sound) return false;
  sound->erase(sound->begin() + static_cast<std::ptrdiff_t>(begin),
               sound->begin() + static_cast<std::ptrdiff_t>(end));
  return RewriteWith(Record(), *sound);
}

bool TWaveStreamAdapter::Insert(std::uint32_t position, TWaveStreamAdapter& wave) {
  if (!SameFormatAs(wave)) return false;
  const std::optional<std::vector<std::uint8_t>> inserted = wave.CopySound();
  return inserted && InsertSound(position, *inserted);
}

bool TWaveStreamAdapter::InsertSilence(std::uint32_t position, std::uint32_t length) {
  if (length == 0 || !Valid()) return false;
  std::vector<std::uint8_t> silence(MsToBytes(length));
  return FillSilence(silence, Record()) && InsertSound(position, silence);
}

bool TWaveStreamAdapter::DeleteFromStart(std::uint32_t length) {
  return Delete(0, length);
}

bool TWaveStreamAdapter::DeleteFromEnd(std::uint32_t length) {
  const std::uint32_t total = Length();
  const std::uint32_t cut = std::min(length, total);
  return Delete(total - cut, cut);
}

bool TWaveStreamAdapter::Concat(std::span<TWaveStreamAdapter* const> waves, std::uint32_t gap) {
  if (waves.empty()) return false;
  std::vector<std::uint8_t> sound;
  std::vector<std::uint8_t> silence;
  for (std::size_t i = 0; i < waves.size(); ++i) {
    const std::optional<std::vector<std::uint8_t>> part = waves[i]->CopySound();
    if (!part) return false;
    if (i == 0) {
      silence.resize(waves[0]->MsToBytes(gap));
      FillSilence(silence, waves[0]->Record());
    } else {
      sound.insert(sound.end(), silence.begin(), silence.end());
    }
    sound.insert(sound.end(), part->begin(), part->end());
  }
  return RewriteWith(waves[0]->Record(), sound);
}

bool TWaveStreamAdapter::Mix(std::span<TWaveStreamAdapter* const> waves) {
  if (waves.empty()) return false;
  std::vector<std::vector<std::uint8_t>> sounds;
  for (TWaveStreamAdapter* wave : waves) {
    std::optional<std::vector<std::uint8_t>> sound = wave->CopySound();
    if (!sound || !wave->SameFormatAs(*waves[0])) return false;
    sounds.push_back(std::move(*sound));
  }
  const std::vector<std::span<const std::uint8_t>> inputs(sounds.begin(), sounds.end());
  std::size_t longest = 0;
  for (const std::vector<std::uint8_t>& sound : sounds) longest = std::max(longest, sound.size());
  std::vector<std::uint8_t> mixed(longest);
  const WAVEFORMATEX& format = waves[0]->Record();
  return MixSamples(inputs, format, mixed) && RewriteWith(format, mixed);
}

}  // namespace orvenna
