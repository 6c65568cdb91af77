#pragma once

#include <cstdint>
#include <vector>

#include "platform/Files.h"
#include "platform/avi/Avi.h"
#include "platform/avi/AviFormat.h"

namespace orvenna::avi {

// One stream of a new AVI file: its header (the length is counted by the writer) and its
// format ('strf': a bitmap information header for video, a WAVEFORMATEX for audio).
struct MuxStreamSetup {
  AVISTREAMINFOA info;
  std::vector<std::uint8_t> format;
};

// A RIFF segment gets no more chunks once its data passes this size; the data goes on in a
// further 'RIFF AVIX' segment (OpenDML), so files of any length stay playable.
constexpr std::uint64_t kSegmentLimit = 1ull << 30;
// Segments the 'indx' super index of each stream has room for (2 TiB of data).
constexpr std::uint32_t kSuperIndexCapacity = 2048;

// Writes an AVI file chunk by chunk: headers first (rewritten with the final values at the
// end), the chunks in 'movi' lists, 'idx1' for the first RIFF, and once the file outgrows one
// segment, 'ix##' indexes per segment with an 'indx' super index per stream and the total
// frame count in 'dmlh'. A single-segment file is a plain AVI with 'idx1' (the reserved room of
// the super index stays a 'JUNK' chunk).
//
// After a refused write the writer appends nothing more except, in Finish, the indexes and
// headers describing the chunks that were written completely, so a file cut short by a full
// disk stays readable up to its last whole chunk.
//
// One thread at a time.
class AviMuxer {
 public:
  // `streams`: at least one, each with a non-zero scale and rate. `segmentLimit` is lowered
  // only to make small OpenDML files for tests.
  AviMuxer(File& file, std::vector<MuxStreamSetup> streams,
           std::uint64_t segmentLimit = kSegmentLimit);
  AviMuxer(const AviMuxer&) = delete;
  AviMuxer& operator=(const AviMuxer&) = delete;

  // Appends one chunk (at most kMaxChunkSize bytes) of `stream`. False when the file refused
  // a write (now or earlier).
  bool WriteChunk(int stream, const void* data, std::uint32_t size, bool keyFrame);
  // Appends `count` empty chunks of `stream`: positions that hold no data.
  bool WriteEmptyChunks(int stream, std::uint32_t count);
  // Completes the file. False when any write failed; call once.
  bool Finish();

  // Ticks written so far: frames of a video stream, blocks of an audio stream.
  std::uint32_t Length(int stream) const { return streams_[stream].length; }

 private:
  // Stops a Debug build on a stream index outside the file's streams.
  void CheckStream(int stream) const;
  struct Entry {
    std::uint64_t position;  // of the chunk header
    std::uint32_t size;
    std::uint16_t stream;
    bool keyFrame;
  };
  struct Stream {
    MuxStreamSetup setup;
    std::uint32_t chunkId = 0;
    std::uint32_t length = 0;
    std::uint32_t chunksInFirstRiff = 0;
    std::uint32_t largestChunk = 0;
    std::uint64_t bytes = 0;
    std::vector<SuperIndexEntry> superIndex;
  };

  bool Start();
  bool EnsureRoom(std::uint64_t bytes);
  bool StartSegment();
  void CloseSegment(bool last);
  bool WriteStandardIndex(int stream);
  bool WriteIdx1();
  void WriteListHeader(std::uint64_t position, std::uint32_t id, std::uint64_t end,
                       std::uint32_t type);
  bool Append(const void* data, std::size_t size);
  void Record(int stream, std::uint64_t position, std::uint32_t size, bool keyFrame);
  std::uint32_t Ticks(int stream, std::uint32_t size) const;
  // The first video stream, else the first stream: the one the main header describes.
  const Stream& MainStream() const;
  std::vector<std::uint8_t> BuildHeaders() const;
  MainAviHeader BuildMainHeader() const;

  File& file_;
  std::vector<Stream> streams_;
  std::uint64_t segmentLimit_;
  bool started_ = false;
  bool failed_ = false;
  bool hasIdx1_ = false;
  bool segmentOpen_ = false;
  int segment_ = 0;
  std::uint64_t end_ = 0;  // where the next chunk goes: after the last whole chunk
  std::uint64_t riffStart_ = 0;
  std::uint64_t moviStart_ = 0;  // of the current 'LIST movi' header
  std::uint64_t firstMoviStart_ = 0;
  std::uint32_t firstRiffSize_ = 0;
  std::vector<Entry> entries_;  // chunks of the current segment
};

}  // namespace orvenna::avi
