#pragma once

// The on-disk records of RIFF AVI and RIFF WAVE files (all little-endian) and the chunk codes
// the reader and the writer share.

#include <cstdint>

#include "platform/Bitmap.h"

namespace orvenna::avi {

constexpr std::uint32_t kRiff = FourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kList = FourCC('L', 'I', 'S', 'T');
constexpr std::uint32_t kAviForm = FourCC('A', 'V', 'I', ' ');
constexpr std::uint32_t kAvixForm = FourCC('A', 'V', 'I', 'X');
constexpr std::uint32_t kWaveForm = FourCC('W', 'A', 'V', 'E');
constexpr std::uint32_t kHdrl = FourCC('h', 'd', 'r', 'l');
constexpr std::uint32_t kAvih = FourCC('a', 'v', 'i', 'h');
constexpr std::uint32_t kStrl = FourCC('s', 't', 'r', 'l');
constexpr std::uint32_t kStrh = FourCC('s', 't', 'r', 'h');
constexpr std::uint32_t kStrf = FourCC('s', 't', 'r', 'f');
constexpr std::uint32_t kStrn = FourCC('s', 't', 'r', 'n');
constexpr std::uint32_t kIndx = FourCC('i', 'n', 'd', 'x');
constexpr std::uint32_t kOdml = FourCC('o', 'd', 'm', 'l');
constexpr std::uint32_t kDmlh = FourCC('d', 'm', 'l', 'h');
constexpr std::uint32_t kMovi = FourCC('m', 'o', 'v', 'i');
constexpr std::uint32_t kRec = FourCC('r', 'e', 'c', ' ');
constexpr std::uint32_t kIdx1 = FourCC('i', 'd', 'x', '1');
constexpr std::uint32_t kJunk = FourCC('J', 'U', 'N', 'K');
constexpr std::uint32_t kFmt = FourCC('f', 'm', 't', ' ');
constexpr std::uint32_t kData = FourCC('d', 'a', 't', 'a');

constexpr std::uint32_t kUncompressedDib = FourCC('D', 'I', 'B', ' ');

// Largest chunk the writer accepts and the reader believes.
constexpr std::uint32_t kMaxChunkSize = 1u << 30;

// Flags of the main header.
constexpr std::uint32_t AVIF_HASINDEX = 0x10;
constexpr std::uint32_t AVIF_ISINTERLEAVED = 0x100;

// A chunk header: code and size of the data that follows (padded to an even length on disk).
struct ChunkHeader {
  std::uint32_t id = 0;
  std::uint32_t size = 0;
};
static_assert(sizeof(ChunkHeader) == 8);

// 'avih'.
struct MainAviHeader {
  std::uint32_t microSecPerFrame = 0;
  std::uint32_t maxBytesPerSec = 0;
  std::uint32_t paddingGranularity = 0;
  std::uint32_t flags = 0;
  std::uint32_t totalFrames = 0;  // frames in the first RIFF
  std::uint32_t initialFrames = 0;
  std::uint32_t streams = 0;
  std::uint32_t suggestedBufferSize = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t reserved[4] = {};
};
static_assert(sizeof(MainAviHeader) == 56);

// 'strh'. Older writers store only the first 48 bytes (no frame rectangle).
struct AviStreamHeader {
  std::uint32_t fccType = 0;
  std::uint32_t fccHandler = 0;
  std::uint32_t flags = 0;
  std::uint16_t priority = 0;
  std::uint16_t language = 0;
  std::uint32_t initialFrames = 0;
  std::uint32_t scale = 0;
  std::uint32_t rate = 0;
  std::uint32_t start = 0;
  std::uint32_t length = 0;
  std::uint32_t suggestedBufferSize = 0;
  std::uint32_t quality = 0;
  std::uint32_t sampleSize = 0;
  std::int16_t frameLeft = 0;
  std::int16_t frameTop = 0;
  std::int16_t frameRight = 0;
  std::int16_t frameBottom = 0;
};
static_assert(sizeof(AviStreamHeader) == 56);
constexpr std::uint32_t kShortStreamHeaderSize = 48;

// One entry of 'idx1'; `offset` is counted from the 'movi' code of the first movi list.
struct Idx1Entry {
  std::uint32_t chunkId = 0;
  std::uint32_t flags = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};
static_assert(sizeof(Idx1Entry) == 16);

// Header shared by the 'indx' super index and the 'ix##' standard indexes.
struct OdmlIndexHeader {
  std::uint16_t longsPerEntry = 0;
  std::uint8_t indexSubType = 0;
  std::uint8_t indexType = 0;
  std::uint32_t entriesInUse = 0;
  std::uint32_t chunkId = 0;
  // Super index: reserved. Standard index: the 64-bit base offset, then a reserved word.
  std::uint32_t words[3] = {};
};
static_assert(sizeof(OdmlIndexHeader) == 24);
constexpr std::uint8_t AVI_INDEX_OF_INDEXES = 0;
constexpr std::uint8_t AVI_INDEX_OF_CHUNKS = 1;

// One entry of 'indx': where a standard index chunk is and how many stream ticks it covers.
struct SuperIndexEntry {
  std::uint32_t offsetLow = 0;  // of the 'ix##' chunk header, split to keep 4-byte alignment
  std::uint32_t offsetHigh = 0;
  std::uint32_t size = 0;  // of the whole chunk, header included
  std::uint32_t duration = 0;
};
static_assert(sizeof(SuperIndexEntry) == 16);

// One entry of an 'ix##' chunk: offset of the chunk data from the base offset; bit 31 of
// the size is set for a frame that is not a key frame.
struct StandardIndexEntry {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};
static_assert(sizeof(StandardIndexEntry) == 8);
constexpr std::uint32_t kNotKeyFrameBit = 0x80000000u;

// The first 16 bytes of a WAVEFORMATEX ('strf' of an audio stream, 'fmt ' of a wave file).
struct WaveFormat {
  std::uint16_t formatTag = 0;
  std::uint16_t channels = 0;
  std::uint32_t samplesPerSec = 0;
  std::uint32_t avgBytesPerSec = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
};
static_assert(sizeof(WaveFormat) == 16);
constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// '00dc', '01wb': the stream number in two decimal digits, then the data type.
constexpr std::uint32_t StreamChunkId(int stream, char a, char b) {
  return FourCC(static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10), a, b);
}
// 'ix00' and so on.
constexpr std::uint32_t StandardIndexId(int stream) {
  return FourCC('i', 'x', static_cast<char>('0' + stream / 10),
                static_cast<char>('0' + stream % 10));
}

}  // namespace orvenna::avi
