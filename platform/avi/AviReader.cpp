#include "platform/avi/AviReader.h"

#include <algorithm>
#include <optional>

#include "platform/avi/AviIndexReader.h"
#include "platform/avi/WaveReader.h"

namespace orvenna::avi {
namespace {

constexpr std::uint32_t kMaxHeaderListSize = 16u << 20;
constexpr int kMaxChunksPerForm = 10000;
constexpr int kMaxSegments = 65536;
// Chunk codes number the streams with two digits.
constexpr std::size_t kMaxStreams = 100;

// A stream as its header list describes it, before its samples are found.
struct StreamDraft {
  StreamSource source;
  std::vector<std::uint8_t> superIndex;  // the data of its 'indx' chunk, if any
};

// The parts of an AVI file that the streams are read from.
struct AviLayout {
  std::optional<std::vector<std::uint8_t>> headerList;  // data of 'hdrl' after its type
  std::vector<ByteRange> moviLists;
  std::uint64_t firstMoviCode = 0;  // position of the 'movi' code of the first list
  std::optional<ChunkRef> idx1;
};

bool IsUsableFormat(const StreamSource& stream) {
  if (stream.info.fccType == streamtypeVIDEO) {
    const auto format = LoadPrefix<BitmapInfoHeader>(stream.format);
    return stream.format.size() >= sizeof(BitmapInfoHeader) && format.width > 0 &&
           format.height != 0;
  }
  if (stream.info.fccType == streamtypeAUDIO) {
    return stream.format.size() >= 14 && IsUsableWaveFormat(LoadPrefix<WaveFormat>(stream.format));
  }
  return true;
}

void TakeStreamHeader(std::span<const std::uint8_t> data, AVISTREAMINFOA& info) {
  const auto header = LoadPrefix<AviStreamHeader>(data);
  info.fccType = header.fccType;
  info.fccHandler = header.fccHandler;
  info.dwFlags = header.flags;
  info.wPriority = header.priority;
  info.wLanguage = header.language;
  info.dwInitialFrames = header.initialFrames;
  info.dwScale = header.scale;
  info.dwRate = header.rate;
  info.dwStart = header.start;
  info.dwSuggestedBufferSize = header.suggestedBufferSize;
  info.dwQuality = header.quality;
  info.dwSampleSize = header.sampleSize;
  info.rcFrameLeft = header.frameLeft;
  info.rcFrameTop = header.frameTop;
  info.rcFrameRight = header.frameRight;
  info.rcFrameBottom = header.frameBottom;
}

AviResult ParseStreamList(std::span<const std::uint8_t> list, StreamDraft& draft) {
  AVISTREAMINFOA& info = draft.source.info;
  bool haveHeader = false;
  bool haveFormat = false;
  ChunkCursor cursor(list);
  std::uint32_t id = 0;
  std::span<const std::uint8_t> data;
  while (cursor.Next(id, data)) {
    if (id == kStrh && !haveHeader) {
      if (data.size() < kShortStreamHeaderSize) return AVIERR_BADFORMAT;
      TakeStreamHeader(data, info);
      haveHeader = true;
    } else if (id == kStrf && !haveFormat) {
      draft.source.format.assign(data.begin(), data.end());
      haveFormat = true;
    } else if (id == kStrn) {
      const std::size_t length = std::min(data.size(), sizeof(info.szName) - 1);
      std::copy_n(data.begin(), length, info.szName);
      std::fill(std::begin(info.szName) + length, std::end(info.szName), '\0');
    } else if (id == kIndx) {
      draft.superIndex.assign(data.begin(), data.end());
    }
  }
  if (!haveHeader || !haveFormat || info.dwScale == 0 || info.dwRate == 0 ||
      !IsUsableFormat(draft.source)) {
    return AVIERR_BADFORMAT;
  }
  return AVIERR_OK;
}

AviResult ParseHeaderList(std::span<const std::uint8_t> list, std::vector<StreamDraft>& drafts) {
  ChunkCursor cursor(list);
  std::uint32_t id = 0;
  std::span<const std::uint8_t> data;
  while (cursor.Next(id, data)) {
    if (id != kList || data.size() < 4 || LoadPrefix<std::uint32_t>(data) != kStrl) continue;
    if (drafts.size() == kMaxStreams) return AVIERR_BADFORMAT;
    drafts.emplace_back();
    if (const AviResult result = ParseStreamList(data.subspan(4), drafts.back());
        result != AVIERR_OK) {
      return result;
    }
  }
  return drafts.empty() ? AVIERR_BADFORMAT : AVIERR_OK;
}

// Notes the header list, the movi lists and 'idx1' among the chunks of one RIFF form.
AviResult WalkForm(RiffReader& reader, const ChunkRef& form, bool first, AviLayout& layout) {
  const std::uint64_t end = FormEnd(form, reader.Length());
  std::uint64_t position = form.Data() + 4;
  for (int count = 0; position < end && count < kMaxChunksPerForm; ++count) {
    ChunkRef chunk;
    AviResult result = reader.ReadChunk(position, end, chunk);
    if (result == AVIERR_FILEREAD) return result;
    if (result != AVIERR_OK) break;
    std::uint64_t next = chunk.End();
    std::uint32_t type = 0;
    if (chunk.id == kList && (result = reader.ReadValue(chunk.Data(), type)) != AVIERR_OK) {
      if (result == AVIERR_FILEREAD) return result;
      break;
    }
    if (chunk.id == kList && type == kHdrl && first && !layout.headerList) {
      if (chunk.size < 4 || chunk.size > kMaxHeaderListSize) return AVIERR_BADFORMAT;
      std::vector<std::uint8_t> bytes(chunk.size - 4);
      if ((result = reader.Read(chunk.Data() + 4, bytes.data(), bytes.size())) != AVIERR_OK) {
        return result;
      }
      layout.headerList = std::move(bytes);
    } else if (chunk.id == kList && type == kMovi) {
      // A movi list whose size was never written runs to the end of its form.
      if (chunk.size == 0) next = end;
      if (layout.moviLists.empty()) layout.firstMoviCode = chunk.Data();
      layout.moviLists.push_back({chunk.Data() + 4, std::min(next, end)});
    } else if (chunk.id == kIdx1 && first && !layout.idx1) {
      layout.idx1 = chunk;
    }
    position = next;
  }
  return AVIERR_OK;
}

// Notes the movi lists of the 'RIFF AVIX' forms that follow the first form.
AviResult WalkExtensions(RiffReader& reader, const ChunkRef& first, AviLayout& layout) {
  if (first.size == 0) return AVIERR_OK;
  std::uint64_t position = first.End();
  for (int count = 0; position < reader.Length() && count < kMaxSegments; ++count) {
    ChunkRef form;
    std::uint32_t type = 0;
    AviResult result = reader.ReadChunk(position, reader.Length(), form);
    if (result == AVIERR_OK) result = reader.ReadValue(form.Data(), type);
    if (result == AVIERR_FILEREAD) return result;
    if (result != AVIERR_OK || form.id != kRiff || type != kAvixForm) break;
    if ((result = WalkForm(reader, form, false, layout)) != AVIERR_OK) return result;
    if (form.size == 0) break;
    position = form.End();
  }
  return AVIERR_OK;
}

std::uint32_t CountLength(const StreamSource& stream) {
  if (stream.info.dwSampleSize == 0) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(stream.samples.size(), UINT32_MAX));
  }
  std::uint64_t bytes = 0;
  for (const SampleExtent& sample : stream.samples) bytes += sample.size;
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(bytes / stream.info.dwSampleSize, UINT32_MAX));
}

}  // namespace

AviResult ReadAviStreams(const std::shared_ptr<File>& file, RiffReader& reader,
                         const ChunkRef& riff, StreamSources& streams) {
  AviLayout layout;
  if (const AviResult result = WalkForm(reader, riff, true, layout); result != AVIERR_OK) {
    return result;
  }
  if (!layout.headerList) return AVIERR_BADFORMAT;
  if (const AviResult result = WalkExtensions(reader, riff, layout); result != AVIERR_OK) {
    return result;
  }
  std::vector<StreamDraft> drafts;
  if (const AviResult result = ParseHeaderList(*layout.headerList, drafts); result != AVIERR_OK) {
    return result;
  }

  std::vector<StreamSource*> targets;
  for (StreamDraft& draft : drafts) targets.push_back(&draft.source);
  SampleCollector collector(reader, targets);
  AviResult result = AVIERR_OK;
  for (std::size_t i = 0; i < drafts.size() && result == AVIERR_OK; ++i) {
    result = collector.ReadSuperIndex(static_cast<int>(i), drafts[i].superIndex);
  }
  // 'idx1' covers the first form only: with extensions, streams without a super index are
  // found by walking the lists.
  if (result == AVIERR_OK && layout.idx1 && layout.moviLists.size() == 1) {
    result = collector.ReadIdx1(*layout.idx1, layout.firstMoviCode);
  }
  if (result == AVIERR_OK) result = collector.ScanMovi(layout.moviLists);
  if (result != AVIERR_OK) return result;

  for (StreamDraft& draft : drafts) {
    draft.source.info.dwLength = CountLength(draft.source);
    draft.source.file = file;
    streams.push_back(std::make_shared<const StreamSource>(std::move(draft.source)));
  }
  return AVIERR_OK;
}

}  // namespace orvenna::avi
