#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/avi/RiffReader.h"
#include "platform/avi/StreamSource.h"

namespace orvenna::avi {

// The data of a 'movi' list, after its type code.
struct ByteRange {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
};

// Collects where the samples of the streams lie, from whichever index a file has. A stream's
// samples end at the first one that lies outside the file (a file cut short keeps what it
// has), and no stream gets more samples than the file has room for chunk headers.
// One thread at a time.
class SampleCollector {
 public:
  SampleCollector(RiffReader& reader, std::vector<StreamSource*> streams);

  // True when `stream` is one of ours and its samples have not been found yet.
  bool Wants(int stream) const;
  // Takes the samples of every wanted stream with an 'indx' super index from it (`superIndex`:
  // that chunk's data, empty when the stream has none). Streams whose index is unusable stay
  // wanted.
  AviResult ReadSuperIndex(int stream, std::span<const std::uint8_t> superIndex);
  // Takes the samples of the wanted streams from 'idx1'; `moviCode` is the position of the
  // 'movi' code of the first movi list. Streams stay wanted when the index is unusable.
  AviResult ReadIdx1(const ChunkRef& idx1, std::uint64_t moviCode);
  // Takes the samples of the wanted streams by walking the chunks of the movi lists.
  AviResult ScanMovi(const std::vector<ByteRange>& lists);

 private:
  struct Target {
    StreamSource* source = nullptr;
    bool wanted = false;
    bool cut = false;
    bool sawData = false;  // while scanning: a chunk with data came already
  };
  void Add(int stream, std::uint64_t offset, std::uint32_t size, bool keyFrame);
  AviResult ReadStandardIndex(int stream, std::uint64_t position);
  void Finish(int stream);

  RiffReader& reader_;
  std::vector<Target> targets_;
  std::size_t maxSamples_;
};

}  // namespace orvenna::avi
