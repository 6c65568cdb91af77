#pragma once

#include <cstdint>

namespace orvenna {

// The wave format record: 18 bytes, little-endian, packed; optionally followed by cbSize
// extra bytes. Also the body of a wave file's "fmt " chunk.
#pragma pack(push, 1)
struct WAVEFORMATEX {
  std::uint16_t wFormatTag = 0;  // 1 is PCM
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;  // bytes per sample frame, all channels
  std::uint16_t wBitsPerSample = 0;
  std::uint16_t cbSize = 0;  // extra format bytes that follow
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// The first six fields alone (16 bytes).
#pragma pack(push, 1)
struct PCMWAVEFORMAT {
  std::uint16_t wFormatTag = 0;
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t wBitsPerSample = 0;
};
#pragma pack(pop)
static_assert(sizeof(PCMWAVEFORMAT) == 16);

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

}  // namespace orvenna
