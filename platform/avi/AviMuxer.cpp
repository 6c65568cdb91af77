#include "platform/avi/AviMuxer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/Check.h"
#include "platform/avi/RiffBuilder.h"

namespace orvenna::avi {
namespace {

// A 'RIFF' or 'LIST' header with its type code.
struct ListHeader {
  ChunkHeader chunk;
  std::uint32_t type;
};
static_assert(sizeof(ListHeader) == 12);

constexpr std::uint32_t kDmlhSize = 248;

std::int16_t Clamp16(std::int32_t value) {
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(value, -32768, 32767));
}

std::uint32_t ChunkIdFor(const AVISTREAMINFOA& info, int stream) {
  return info.fccType == streamtypeAUDIO ? StreamChunkId(stream, 'w', 'b')
                                         : StreamChunkId(stream, 'd', 'c');
}

std::uint32_t Low(std::uint64_t value) {
  return static_cast<std::uint32_t>(value);
}
std::uint32_t High(std::uint64_t value) {
  return static_cast<std::uint32_t>(value >> 32);
}

}  // namespace

AviMuxer::AviMuxer(File& file, std::vector<MuxStreamSetup> streams, std::uint64_t segmentLimit)
    : file_(file), segmentLimit_(segmentLimit) {
  for (auto& setup : streams) {
    Stream stream;
    stream.chunkId = ChunkIdFor(setup.info, static_cast<int>(streams_.size()));
    stream.setup = std::move(setup);
    streams_.push_back(std::move(stream));
  }
}

bool AviMuxer::Start() {
  started_ = true;
  const auto headers = BuildHeaders();
  firstMoviStart_ = moviStart_ = headers.size();
  // The sizes stay zero until the segment is closed: readers then take the data up to the end
  // of the file.
  const ListHeader movi{{kList, 0}, kMovi};
  const bool ok = file_.WriteAt(0, headers.data(), headers.size()) &&
                  file_.WriteAt(moviStart_, &movi, sizeof(movi));
  end_ = moviStart_ + sizeof(movi);
  segmentOpen_ = true;
  if (!ok) failed_ = true;
  return ok;
}

bool AviMuxer::WriteChunk(int stream, const void* data, std::uint32_t size, bool keyFrame) {
  CheckStream(stream);
  if (failed_ || size > kMaxChunkSize) return false;
  if (!started_ && !Start()) return false;
  const std::uint64_t total = sizeof(ChunkHeader) + size + size % 2;
  if (!EnsureRoom(total)) return false;
  const std::uint64_t position = end_;
  const ChunkHeader header{streams_[stream].chunkId, size};
  const std::uint8_t pad = 0;
  const bool ok = file_.WriteAt(position, &header, sizeof(header)) &&
                  (size == 0 || file_.WriteAt(position + sizeof(header), data, size)) &&
                  (size % 2 == 0 || file_.WriteAt(position + sizeof(header) + size, &pad, 1));
  if (!ok) {
    failed_ = true;
    return false;
  }
  end_ = position + total;
  Record(stream, position, size, keyFrame);
  return true;
}

bool AviMuxer::WriteEmptyChunks(int stream, std::uint32_t count) {
  CheckStream(stream);
  if (failed_) return false;
  if (!started_ && !Start()) return false;
  constexpr std::uint32_t kBatch = 65536;
  while (count > 0) {
    const std::uint32_t batch = std::min(count, kBatch);
    if (!EnsureRoom(std::uint64_t{batch} * sizeof(ChunkHeader))) return false;
    const std::vector<ChunkHeader> headers(batch, ChunkHeader{streams_[stream].chunkId, 0});
    const std::uint64_t position = end_;
    if (!Append(headers.data(), headers.size() * sizeof(ChunkHeader))) return false;
    for (std::uint32_t i = 0; i < batch; ++i) {
      Record(stream, position + std::uint64_t{i} * sizeof(ChunkHeader), 0, false);
    }
    count -= batch;
  }
  return true;
}

void AviMuxer::CheckStream([[maybe_unused]] int stream) const {
  ORVENNA_CHECK(stream >= 0 && static_cast<std::size_t>(stream) < streams_.size(),
                "a chunk of a stream the file has");
}

bool AviMuxer::Finish() {
  if (!started_) Start();
  if (segmentOpen_) CloseSegment(true);
  const auto headers = BuildHeaders();
  if (!file_.WriteAt(0, headers.data(), headers.size())) failed_ = true;
  return !failed_;
}

void AviMuxer::Record(int stream, std::uint64_t position, std::uint32_t size, bool keyFrame) {
  entries_.push_back({position, size, static_cast<std::uint16_t>(stream), keyFrame});
  Stream& s = streams_[stream];
  s.length += Ticks(stream, size);
  s.bytes += size;
  s.largestChunk = std::max(s.largestChunk, size);
  if (segment_ == 0) ++s.chunksInFirstRiff;
}

std::uint32_t AviMuxer::Ticks(int stream, std::uint32_t size) const {
  const std::uint32_t sampleSize = streams_[stream].setup.info.dwSampleSize;
  return sampleSize == 0 ? 1 : size / sampleSize;
}

bool AviMuxer::EnsureRoom(std::uint64_t bytes) {
  if (entries_.empty() || end_ + bytes - riffStart_ <= segmentLimit_) return true;
  return StartSegment();
}

bool AviMuxer::StartSegment() {
  // The closing segment and the new one each need an entry in every super index.
  if (static_cast<std::uint32_t>(segment_) + 2 > kSuperIndexCapacity) {
    failed_ = true;
    return false;
  }
  CloseSegment(false);
  if (failed_) return false;
  const std::uint64_t start = end_;
  const ListHeader headers[2] = {{{kRiff, 0}, kAvixForm}, {{kList, 0}, kMovi}};
  if (!Append(headers, sizeof(headers))) return false;
  riffStart_ = start;
  moviStart_ = start + sizeof(ListHeader);
  ++segment_;
  segmentOpen_ = true;
  return true;
}

void AviMuxer::CloseSegment(bool last) {
  segmentOpen_ = false;
  if (!last || segment_ > 0) {
    for (int stream = 0; stream < static_cast<int>(streams_.size()); ++stream) {
      WriteStandardIndex(stream);
    }
  }
  WriteListHeader(moviStart_, kList, end_, kMovi);
  if (segment_ == 0) {
    hasIdx1_ = WriteIdx1();
    firstRiffSize_ = static_cast<std::uint32_t>(end_ - sizeof(ChunkHeader));
  } else {
    WriteListHeader(riffStart_, kRiff, end_, kAvixForm);
  }
  entries_.clear();
}

bool AviMuxer::WriteStandardIndex(int stream) {
  Stream& s = streams_[stream];
  OdmlIndexHeader header;
  header.longsPerEntry = 2;
  header.indexType = AVI_INDEX_OF_CHUNKS;
  header.chunkId = s.chunkId;
  header.words[0] = Low(riffStart_);
  header.words[1] = High(riffStart_);
  std::vector<StandardIndexEntry> entries;
  std::uint32_t duration = 0;
  for (const Entry& entry : entries_) {
    if (entry.stream != stream) continue;
    const auto offset =
        static_cast<std::uint32_t>(entry.position + sizeof(ChunkHeader) - riffStart_);
    entries.push_back({offset, entry.size | (entry.keyFrame ? 0 : kNotKeyFrameBit)});
    duration += Ticks(stream, entry.size);
  }
  if (entries.empty()) return true;
  header.entriesInUse = static_cast<std::uint32_t>(entries.size());

  RiffBuilder chunk;
  chunk.BeginChunk(StandardIndexId(stream));
  chunk.Put(header);
  chunk.PutBytes(entries.data(), entries.size() * sizeof(StandardIndexEntry));
  chunk.End();
  const std::uint64_t position = end_;
  if (!Append(chunk.Bytes().data(), chunk.Bytes().size())) return false;
  s.superIndex.push_back(
      {Low(position), High(position), static_cast<std::uint32_t>(chunk.Bytes().size()), duration});
  return true;
}

bool AviMuxer::WriteIdx1() {
  RiffBuilder chunk;
  chunk.BeginChunk(kIdx1);
  const std::uint64_t base = firstMoviStart_ + sizeof(ChunkHeader);
  for (const Entry& entry : entries_) {
    chunk.Put(Idx1Entry{streams_[entry.stream].chunkId, entry.keyFrame ? AVIIF_KEYFRAME : 0,
                        static_cast<std::uint32_t>(entry.position - base), entry.size});
  }
  chunk.End();
  return Append(chunk.Bytes().data(), chunk.Bytes().size());
}

void AviMuxer::WriteListHeader(std::uint64_t position, std::uint32_t id, std::uint64_t end,
                               std::uint32_t type) {
  const ListHeader header{{id, static_cast<std::uint32_t>(end - position - sizeof(ChunkHeader))},
                          type};
  if (!file_.WriteAt(position, &header, sizeof(header))) failed_ = true;
}

bool AviMuxer::Append(const void* data, std::size_t size) {
  if (!file_.WriteAt(end_, data, size)) {
    failed_ = true;
    return false;
  }
  end_ += size;
  return true;
}

const AviMuxer::Stream& AviMuxer::MainStream() const {
  for (const Stream& s : streams_) {
    if (s.setup.info.fccType == streamtypeVIDEO) return s;
  }
  return streams_.front();
}

MainAviHeader AviMuxer::BuildMainHeader() const {
  MainAviHeader header;
  const Stream& main = MainStream();
  double seconds = 0;
  std::uint64_t bytes = 0;
  for (const Stream& s : streams_) {
    const AVISTREAMINFOA& info = s.setup.info;
    seconds = std::max(seconds, static_cast<double>(s.length) * info.dwScale / info.dwRate);
    bytes += s.bytes;
    header.suggestedBufferSize =
        std::max({header.suggestedBufferSize, s.largestChunk, info.dwSuggestedBufferSize});
  }
  if (main.setup.info.fccType == streamtypeVIDEO) {
    header.microSecPerFrame = static_cast<std::uint32_t>(
        std::lround(1e6 * main.setup.info.dwScale / main.setup.info.dwRate));
    BitmapInfoHeader format;
    if (main.setup.format.size() >= sizeof(format)) {
      std::memcpy(&format, main.setup.format.data(), sizeof(format));
      header.width = static_cast<std::uint32_t>(std::max(format.width, 0));
      header.height = static_cast<std::uint32_t>(std::abs(std::int64_t{format.height}));
    }
  }
  if (seconds > 0) {
    header.maxBytesPerSec =
        static_cast<std::uint32_t>(std::min<double>(std::ceil(static_cast<double>(bytes) / seconds),
                                                    std::numeric_limits<std::uint32_t>::max()));
  }
  header.flags = (hasIdx1_ ? AVIF_HASINDEX : 0) | (streams_.size() > 1 ? AVIF_ISINTERLEAVED : 0);
  header.totalFrames = main.chunksInFirstRiff;
  header.streams = static_cast<std::uint32_t>(streams_.size());
  return header;
}

std::vector<std::uint8_t> AviMuxer::BuildHeaders() const {
  RiffBuilder b;
  b.Put(ListHeader{{kRiff, firstRiffSize_}, kAviForm});
  b.BeginList(kList, kHdrl);
  const MainAviHeader main = BuildMainHeader();
  b.Chunk(kAvih, &main, sizeof(main));
  for (const Stream& s : streams_) {
    const AVISTREAMINFOA& info = s.setup.info;
    b.BeginList(kList, kStrl);
    const AviStreamHeader strh{info.fccType,
                               info.fccHandler,
                               info.dwFlags,
                               info.wPriority,
                               info.wLanguage,
                               info.dwInitialFrames,
                               info.dwScale,
                               info.dwRate,
                               info.dwStart,
                               s.length,
                               info.dwSuggestedBufferSize,
                               info.dwQuality,
                               info.dwSampleSize,
                               Clamp16(info.rcFrameLeft),
                               Clamp16(info.rcFrameTop),
                               Clamp16(info.rcFrameRight),
                               Clamp16(info.rcFrameBottom)};
    b.Chunk(kStrh, &strh, sizeof(strh));
    b.Chunk(kStrf, s.setup.format.data(), s.setup.format.size());
    const std::size_t nameLength = strnlen(info.szName, sizeof(info.szName));
    if (nameLength > 0) {
      std::string name(info.szName, nameLength);
      b.Chunk(kStrn, name.c_str(), nameLength + 1);
    }
    // Room for the super index is kept from the start; it stays filler until it is used.
    b.BeginChunk(s.superIndex.empty() ? kJunk : kIndx);
    OdmlIndexHeader header;
    header.longsPerEntry = 4;
    header.indexType = AVI_INDEX_OF_INDEXES;
    header.entriesInUse = static_cast<std::uint32_t>(s.superIndex.size());
    header.chunkId = s.chunkId;
    b.Put(header);
    std::vector<SuperIndexEntry> entries = s.superIndex;
    entries.resize(kSuperIndexCapacity);
    b.PutBytes(entries.data(), entries.size() * sizeof(SuperIndexEntry));
    b.End();
    b.End();
  }
  b.BeginList(kList, kOdml);
  std::vector<std::uint32_t> dmlh(kDmlhSize / 4);
  dmlh[0] = MainStream().length;
  b.Chunk(kDmlh, dmlh.data(), kDmlhSize);
  b.End();
  b.End();
  return b.Bytes();
}

}  // namespace orvenna::avi
