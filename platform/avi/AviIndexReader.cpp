#include "platform/avi/AviIndexReader.h"

#include <algorithm>

namespace orvenna::avi {
namespace {

// Entries read from the file at a time.
constexpr std::size_t kBatch = 8192;

// The stream number of a data chunk code ('01wb': 1), or -1 for any other code.
int StreamOf(std::uint32_t chunkId) {
  const char tens = static_cast<char>(chunkId & 0xFF);
  const char ones = static_cast<char>((chunkId >> 8) & 0xFF);
  if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return -1;
  // Palette changes share the stream's number but are not samples.
  if ((chunkId >> 16) == (FourCC(0, 0, 'p', 'c') >> 16)) return -1;
  return (tens - '0') * 10 + (ones - '0');
}

// Without an index nothing tells key frames apart, except that uncompressed video and audio
// have nothing but.
bool EverySampleIsKey(const StreamSource& stream) {
  if (stream.info.fccType != streamtypeVIDEO) return true;
  const auto format = LoadPrefix<BitmapInfoHeader>(stream.format);
  return format.compression == 0 || format.compression == kUncompressedDib;
}

template <class Entry>
AviResult ReadEntries(RiffReader& reader, std::uint64_t position, std::size_t count,
                      std::vector<Entry>& entries) {
  entries.resize(count);
  return reader.Read(position, entries.data(), count * sizeof(Entry));
}

}  // namespace

SampleCollector::SampleCollector(RiffReader& reader, std::vector<StreamSource*> streams)
    : reader_(reader), maxSamples_(reader.Length() / sizeof(ChunkHeader) + 1) {
  for (StreamSource* source : streams) targets_.push_back({source, true, false, false});
}

bool SampleCollector::Wants(int stream) const {
  return stream >= 0 && stream < static_cast<int>(targets_.size()) && targets_[stream].wanted;
}

void SampleCollector::Add(int stream, std::uint64_t offset, std::uint32_t size, bool keyFrame) {
  Target& target = targets_[stream];
  if (target.cut) return;
  auto& samples = target.source->samples;
  const std::uint64_t length = reader_.Length();
  if (size > kMaxChunkSize || offset > length || size > length - offset ||
      samples.size() >= maxSamples_) {
    target.cut = true;
    return;
  }
  samples.push_back({offset, size, keyFrame});
}

void SampleCollector::Finish(int stream) {
  targets_[stream].wanted = false;
}

AviResult SampleCollector::ReadSuperIndex(int stream, std::span<const std::uint8_t> superIndex) {
  if (!Wants(stream) || superIndex.size() < sizeof(OdmlIndexHeader)) return AVIERR_OK;
  const auto header = LoadPrefix<OdmlIndexHeader>(superIndex);
  if (header.longsPerEntry != 4 || header.indexType != AVI_INDEX_OF_INDEXES ||
      header.indexSubType != 0 || header.entriesInUse == 0) {
    return AVIERR_OK;
  }
  const auto entries = superIndex.subspan(sizeof(OdmlIndexHeader));
  const std::size_t count =
      std::min<std::size_t>(header.entriesInUse, entries.size() / sizeof(SuperIndexEntry));
  for (std::size_t i = 0; i < count && !targets_[stream].cut; ++i) {
    const auto entry = LoadPrefix<SuperIndexEntry>(entries.subspan(i * sizeof(SuperIndexEntry)));
    const AviResult result =
        ReadStandardIndex(stream, entry.offsetLow | std::uint64_t{entry.offsetHigh} << 32);
    if (result == AVIERR_FILEREAD) return result;
    // A broken standard index ends the stream where it is.
    if (result != AVIERR_OK) break;
  }
  Finish(stream);
  return AVIERR_OK;
}

AviResult SampleCollector::ReadStandardIndex(int stream, std::uint64_t position) {
  ChunkRef chunk;
  if (const AviResult result = reader_.ReadChunk(position, reader_.Length(), chunk);
      result != AVIERR_OK) {
    return result;
  }
  OdmlIndexHeader header;
  if (chunk.size < sizeof(header)) return AVIERR_BADFORMAT;
  if (const AviResult result = reader_.ReadValue(chunk.Data(), header); result != AVIERR_OK) {
    return result;
  }
  if (header.longsPerEntry != 2 || header.indexType != AVI_INDEX_OF_CHUNKS ||
      header.indexSubType != 0) {
    return AVIERR_BADFORMAT;
  }
  const std::uint64_t base = header.words[0] | std::uint64_t{header.words[1]} << 32;
  std::size_t remaining = std::min<std::size_t>(
      header.entriesInUse, (chunk.size - sizeof(header)) / sizeof(StandardIndexEntry));
  std::uint64_t next = chunk.Data() + sizeof(header);
  std::vector<StandardIndexEntry> entries;
  while (remaining > 0 && !targets_[stream].cut) {
    const std::size_t count = std::min(remaining, kBatch);
    if (const AviResult result = ReadEntries(reader_, next, count, entries); result != AVIERR_OK) {
      return result;
    }
    for (const StandardIndexEntry& entry : entries) {
      Add(stream, base + entry.offset, entry.size & ~kNotKeyFrameBit,
          (entry.size & kNotKeyFrameBit) == 0);
    }
    remaining -= count;
    next += count * sizeof(StandardIndexEntry);
  }
  return AVIERR_OK;
}

AviResult SampleCollector::ReadIdx1(const ChunkRef& idx1, std::uint64_t moviCode) {
  // An index cut short would hide the chunks after its end: walking the lists finds them all.
  if (idx1.Data() + idx1.size > reader_.Length()) return AVIERR_OK;
  std::size_t remaining = idx1.size / sizeof(Idx1Entry);
  if (remaining == 0) return AVIERR_OK;

  // Offsets count from the 'movi' code in most files and from the file's start in some: the
  // first entry must point at a chunk with its own code.
  Idx1Entry first;
  if (const AviResult result = reader_.ReadValue(idx1.Data(), first); result != AVIERR_OK) {
    return result;
  }
  std::uint64_t base = 0;
  bool found = false;
  for (const std::uint64_t candidate : {moviCode, std::uint64_t{0}}) {
    std::uint32_t id = 0;
    const AviResult result = reader_.ReadValue(candidate + first.offset, id);
    if (result == AVIERR_FILEREAD) return result;
    if (result == AVIERR_OK && id == first.chunkId) {
      base = candidate;
      found = true;
      break;
    }
  }
  if (!found) return AVIERR_OK;

  std::uint64_t next = idx1.Data();
  std::vector<Idx1Entry> entries;
  while (remaining > 0) {
    const std::size_t count = std::min(remaining, kBatch);
    if (const AviResult result = ReadEntries(reader_, next, count, entries); result != AVIERR_OK) {
      return result;
    }
    for (const Idx1Entry& entry : entries) {
      const int stream = StreamOf(entry.chunkId);
      if (!Wants(stream)) continue;
      Add(stream, base + entry.offset + sizeof(ChunkHeader), entry.size,
          (entry.flags & AVIIF_KEYFRAME) != 0);
    }
    remaining -= count;
    next += count * sizeof(Idx1Entry);
  }
  for (int stream = 0; stream < static_cast<int>(targets_.size()); ++stream) Finish(stream);
  return AVIERR_OK;
}

AviResult SampleCollector::ScanMovi(const std::vector<ByteRange>& lists) {
  for (const ByteRange& list : lists) {
    std::uint64_t position = list.begin;
    while (position < list.end) {
      ChunkRef chunk;
      const AviResult result = reader_.ReadChunk(position, list.end, chunk);
      if (result == AVIERR_FILEREAD) return result;
      if (result != AVIERR_OK) break;
      if (chunk.id == kList) {
        // 'rec ' lists group the chunks of one moment: walk into them.
        position = chunk.Data() + 4;
        continue;
      }
      const int stream = StreamOf(chunk.id);
      if (Wants(stream)) {
        Target& target = targets_[stream];
        const bool keyFrame = EverySampleIsKey(*target.source) || (!target.sawData && chunk.size);
        target.sawData = target.sawData || chunk.size > 0;
        Add(stream, chunk.Data(), chunk.size, keyFrame);
      }
      position = chunk.End();
    }
  }
  for (int stream = 0; stream < static_cast<int>(targets_.size()); ++stream) Finish(stream);
  return AVIERR_OK;
}

}  // namespace orvenna::avi
