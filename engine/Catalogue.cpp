#include "engine/CompressorFit.h"
#include "engine/RegionFit.h"
#include "engine/Utf16.h"
#include "engine/Vistrel.h"
#include "platform/Check.h"

namespace orvenna {

Size TVistrel::RecordedRegionSize() const {
  if (ScreenRegion() == TScreenRegion::FullScreen) return platform_.screen.ScreenSize();
  // Only the part of the region on the screen is recorded.
  const Rect region = FitRegionToScreen(Region(), platform_.screen.ScreenSize(),
                                        ScreenRegion() == TScreenRegion::FixedMoving)
                          .region;
  return Size{region.width, region.height};
}

// A compressor is offered when the recording can use it: when it accepts the region's size or
// the size the recording rounds the region to for it (RecordingSession::AdjustDimensions). The
// compressors are asked about the frames' format alone, so the screen is not read: a desktop
// that shares its screen on request may not have shared it yet.
const std::vector<std::string>& TVistrel::GetCompressorList() {
  const Size size = RecordedRegionSize();
  compressorCount_ = 0;
  compressorNames_.clear();
  if (size.width > 0 && size.height > 0) {
    VideoCompressionManager& codecs = platform_.codecs;
    for (int index = 0; index < CatalogueSize; ++index) {
      ORVENNA_CHECK(compressorCount_ < CatalogueSize, "the catalogue holds at most 51 entries");
      ICINFO& entry = compressorTable_[compressorCount_];
      if (!codecs.Info(ICTYPE_VIDEO, index, entry)) continue;
      const auto compressor = codecs.Open(entry.fccType, entry.fccHandler, ICMODE_QUERY);
      if (compressor &&
          FitToCompressor(*compressor, size, BitCount(), platform_.screen.ScreenSize()).divisor >
              0) {
        entry = compressor->GetInfo();
        ++compressorCount_;
      }
    }
  }
  for (int i = 0; i < compressorCount_; ++i) {
    compressorNames_.push_back(Utf16FieldToUtf8(compressorTable_[i].szDescription, 128));
  }
  return compressorNames_;
}

std::unique_ptr<VideoCompressor> TVistrel::OpenCatalogueEntry(int index) {
  CheckUiThread("the compressor catalogue");
  if (index < 0 || index >= compressorCount_) return nullptr;
  const ICINFO& entry = compressorTable_[index];
  return platform_.codecs.Open(entry.fccType, entry.fccHandler, ICMODE_QUERY);
}

CompressorFit TVistrel::CompressorFitOf(int index) {
  const auto compressor = OpenCatalogueEntry(index);
  if (!compressor) return CompressorFit{};
  return FitToCompressor(*compressor, RecordedRegionSize(), BitCount(),
                         platform_.screen.ScreenSize());
}

void TVistrel::QueryCompressorDialogs(std::uint8_t index, bool& hasAbout, bool& hasConfigure) {
  hasAbout = false;
  hasConfigure = false;
  if (const auto compressor = OpenCatalogueEntry(index)) {
    hasAbout = compressor->QueryAbout() == ICERR_OK;
    hasConfigure = compressor->QueryConfigure() == ICERR_OK;
  }
}

void TVistrel::CompressorAbout(std::uint8_t index, WindowHandle parentWindow) {
  if (const auto compressor = OpenCatalogueEntry(index)) compressor->About(parentWindow);
}

void TVistrel::CompressorConfigure(std::uint8_t index, WindowHandle parentWindow) {
  if (const auto compressor = OpenCatalogueEntry(index)) compressor->Configure(parentWindow);
}

}  // namespace orvenna
