#include "engine/RegionFit.h"
#include "engine/Utf16.h"
#include "engine/Vistrel.h"
#include "platform/Check.h"

namespace orvenna {

const std::vector<std::string>& TVistrel::GetCompressorList() {
  // The sample is of the region as it would be recorded: only its part on the screen.
  const Rect region = FitRegionToScreen(Region(), platform_.screen.ScreenSize(),
                                        ScreenRegion() == TScreenRegion::FixedMoving)
                          .region;
  PackedFrame sample =
      GrabFrameDIB(region.left, region.top, region.width, region.height, FilterColor());
  compressorCount_ = 0;
  compressorNames_.clear();
  if (sample) {
    VideoCompressionManager& codecs = platform_.codecs;
    for (int index = 0; index < CatalogueSize; ++index) {
      ORVENNA_CHECK(compressorCount_ < CatalogueSize, "the catalogue holds at most 51 entries");
      ICINFO& entry = compressorTable_[compressorCount_];
      if (!codecs.Info(ICTYPE_VIDEO, index, entry)) continue;
      const auto compressor = codecs.Open(entry.fccType, entry.fccHandler, ICMODE_QUERY);
      if (compressor && compressor->CompressQuery(sample.Header()) == ICERR_OK) {
        entry = compressor->GetInfo();
        ++compressorCount_;
      }
    }
  }
  // The sample's block is not kept for a next frame: this thread grabs none.
  sample.Reset();
  PackedFrame::ReleaseSpareBlock();
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
