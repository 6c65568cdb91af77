#include "platform/avi/SaveSteps.h"

#include <algorithm>

#include "platform/avi/Handles.h"

namespace orvenna::avi {

AviResult SaveProgress::Advance(std::uint64_t work, int ceiling) {
  doneWork_ += work;
  const auto percent = static_cast<int>(totalWork_ == 0 ? 100 : doneWork_ * 100 / totalWork_);
  return Report(std::min(percent, ceiling));
}

AviResult SaveProgress::Report(int percent) {
  if (percent <= reported_) return AVIERR_OK;
  reported_ = percent;
  if (callback_ && callback_(percent) != 0) return AVIERR_USERABORT;
  return AVIERR_OK;
}

ExtentReader::ExtentReader(const StreamSource& source) : source_(source) {
  for (const SampleExtent& extent : source.samples) total_ += extent.size;
}

AviResult ExtentReader::Read(std::uint64_t size, std::vector<std::uint8_t>& buffer) {
  size = std::min(size, total_ - position_);
  buffer.resize(size);
  for (std::uint64_t filled = 0; filled < size;) {
    const SampleExtent& extent = source_.samples[extent_];
    const std::uint64_t piece = std::min(size - filled, extent.size - extentOffset_);
    if (piece > 0 &&
        !source_.file->ReadAt(extent.offset + extentOffset_, buffer.data() + filled, piece)) {
      return AVIERR_FILEREAD;
    }
    filled += piece;
    extentOffset_ += piece;
    if (extentOffset_ == extent.size) {
      ++extent_;
      extentOffset_ = 0;
    }
  }
  position_ += size;
  return AVIERR_OK;
}

AviResult SortSavedStreams(int count, PAVISTREAM* streams,
                           std::shared_ptr<const StreamSource>& video,
                           std::shared_ptr<const StreamSource>& audio) {
  if (count < 1 || count > 2 || streams == nullptr) return AVIERR_BADPARAM;
  for (int i = 0; i < count; ++i) {
    if (!streams[i]) continue;
    std::shared_ptr<const StreamSource> source = streams[i]->Source();
    if (!source) return AVIERR_BADPARAM;
    if (source->info.fccType == streamtypeVIDEO && !video && !audio) {
      video = std::move(source);
    } else if (source->info.fccType == streamtypeAUDIO && !audio) {
      audio = std::move(source);
    } else {
      return AVIERR_BADPARAM;
    }
  }
  return video || audio ? AVIERR_OK : AVIERR_BADPARAM;
}

AviResult FinishSavedFile(File& output, AviResult result) {
  const bool complete = result == AVIERR_OK || result == AVIERR_USERABORT;
  if (complete && !output.Flush()) result = AVIERR_FILEWRITE;
  if (result == AVIERR_FILEWRITE && output.RanOutOfRoom()) result = AVIERR_DISKFULL;
  return result;
}

}  // namespace orvenna::avi
