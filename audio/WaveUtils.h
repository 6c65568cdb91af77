#pragma once

// The vocabulary every audio component shares: the catalogue of standard PCM formats, format
// descriptions, millisecond/byte conversions, peak levels, routines over blocks of samples, the
// conversion between formats, and the audio exception classes. Plain functions over memory the
// caller owns; any thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AudioConverter.h"
#include "platform/Files.h"
#include "platform/WaveFormat.h"

namespace orvenna {

// The standard PCM formats; value v (1 to 20) has, for k = v - 1, 1 channel when k is even and
// 2 when odd, 8 bits when k / 2 is even and 16 when odd, and the (k / 4)-th rate of 8000, 11025,
// 22050, 44100 and 48000 Hz. nonePCM: no catalogue format, the format comes from elsewhere.
enum class TPCMFormat : std::uint8_t {
  nonePCM,
  Mono8Bit8000Hz,
  Stereo8bit8000Hz,
  Mono16bit8000Hz,
  Stereo16bit8000Hz,
  Mono8bit11025Hz,
  Stereo8bit11025Hz,
  Mono16bit11025Hz,
  Stereo16bit11025Hz,
  Mono8bit22050Hz,
  Stereo8bit22050Hz,
  Mono16bit22050Hz,
  Stereo16bit22050Hz,
  Mono8bit44100Hz,
  Stereo8bit44100Hz,
  Mono16bit44100Hz,
  Stereo16bit44100Hz,
  Mono8bit48000Hz,
  Stereo8bit48000Hz,
  Mono16bit48000Hz,
  Stereo16bit48000Hz,
};

// Channel names indexed by channel count; index 0 has no name.
inline constexpr std::array<std::string_view, 3> ChannelNames{"", "Mono", "Stereo"};

// Fills `format` for PCM: mono or stereo, 8 or 16 bits, the rate of `rateIndex` (0 to 4 for
// 8000, 11025, 22050, 44100, 48000 Hz). False, with `format` untouched, for another index.
bool FillPCMFormat(WAVEFORMATEX& format, bool stereo, int rateIndex, bool sixteenBit);
// Fills `format` from a catalogue entry. False, with `format` untouched, for nonePCM or a value
// outside the catalogue.
bool FillStandardPCMFormat(WAVEFORMATEX& format, TPCMFormat pcmFormat);

// One line for lists: "PCM: 22.050 kHz, 8 Bit, Stereo", with the decimal separator of the
// C library's current locale.
std::string WaveFormatDescription(const WAVEFORMATEX& format);
// The name of an encoding ("PCM" for 1); empty for a tag without a name.
std::string_view FormatTagName(std::uint16_t tag);

// a × b / c rounded to the nearest integer, halves away from zero. The product is taken in 64
// bits, exact for any two 32-bit factors (signed or unsigned); the result must fit in 64 bits,
// as it does whenever c is not 0, 1 or -1. -1 when c is 0.
std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c);

// Conversions between milliseconds and bytes of `format`. Results beyond 32 bits (which no
// wave file can hold) saturate at the largest 32-bit value.
// Bytes of `milliseconds`, rounded up to a whole sample frame (device buffers).
std::uint32_t MsToBufferBytes(const WAVEFORMATEX& format, std::uint32_t milliseconds);
// Bytes of `milliseconds`, rounded down to a whole sample frame (positions in a wave).
std::uint32_t MsToBytes(const WAVEFORMATEX& format, std::uint32_t milliseconds);
// Milliseconds of `bytes`; 0 when the format has no byte rate.
std::uint32_t BytesToMs(const WAVEFORMATEX& format, std::uint32_t bytes);

// The peak level of a block of 8- or 16-bit PCM samples, 0 to 100 (only the positive half
// counts, channels are not told apart); -1 for any other format.
int WaveAudioLevel(std::span<const std::uint8_t> data, const WAVEFORMATEX& format);

// Routines over 8- or 16-bit PCM data: each returns true when it handled the format and false,
// with the data untouched, for any other. Reverse, scale and mix leave alone a trailing part of
// a frame or sample.
// Reverses the order of the sample frames in place; the channels of a frame keep their order.
bool ReverseSamples(std::span<std::uint8_t> data, const WAVEFORMATEX& format);
// Each sample s becomes s + s × percent / 100 (truncated), measured from silence and clamped:
// 8-bit samples around 128 to 0..255, 16-bit samples to -32767..32767.
bool ScaleVolume(std::span<std::uint8_t> data, const WAVEFORMATEX& format, int percent);
// Fills the block with silence: the byte 127 for 8 bits, 0 for 16 bits.
bool FillSilence(std::span<std::uint8_t> data, const WAVEFORMATEX& format);
// Each sample of `out` becomes the sum of the samples at that position of all inputs, divided
// by the number of inputs (truncated); an input that has run out adds silence (128 for 8 bits,
// 0 for 16 bits). False also when there are no inputs.
bool MixSamples(std::span<const std::span<const std::uint8_t>> inputs, const WAVEFORMATEX& format,
                std::span<std::uint8_t> out);

// Converts PCM sound of 8 or 16 bits between any rates and channel counts, through `converter`. On
// success `dest` holds the converted sound (its size is the length used); on failure, or for a
// format it cannot convert, it returns false and `dest` is empty.
bool ConvertWaveData(AudioConverter& converter, const WAVEFORMATEX& sourceFormat,
                     std::span<const std::uint8_t> source, std::vector<std::uint8_t>& dest,
                     const WAVEFORMATEX& destFormat);

// The base of every audio error.
class EWaveAudioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An error reported by the sound layer of the desktop, with that layer's own text.
class EWaveAudioSysError : public EWaveAudioError {
 public:
  using EWaveAudioError::EWaveAudioError;
};

// A component used in a way it does not allow; raised with one of the messages below.
class EWaveAudioInvalidOperation : public EWaveAudioError {
 public:
  using EWaveAudioError::EWaveAudioError;

  static constexpr const char* kFormatWhileOpen =
      "Audio format cannot be changed while device is open";
  static constexpr const char* kAlreadyOpen = "Device is aleardy open";
  static constexpr const char* kAlreadyClosed = "Device is aleardy close";
  static constexpr const char* kStockNotAssigned = "Stock property is not assigned";
};

}  // namespace orvenna
