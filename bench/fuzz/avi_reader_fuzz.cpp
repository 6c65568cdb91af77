// libFuzzer target of the AVI/WAVE reader: any bytes are opened as a file; every stream is
// taken; the first one is saved into a new file as the recorder's assembly would, which reads
// every sample; a save that succeeds must give a file our reader opens with the same length.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/avi/Avi.h"
#include "tests/integration/avi/AviTestSupport.h"

namespace {

using namespace orvenna;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  avi_test::MemoryFiles files;
  files.Put("in", std::vector<std::uint8_t>(data, data + size));
  PAVIFILE file;
  if (AVIFileOpen(file, files, "in", OF_READ) != AVIERR_OK) return 0;
  PAVISTREAM first;
  Check(AVIFileGetStream(file, first, 0, 0) == AVIERR_OK);
  for (std::int32_t index = 1;; ++index) {
    PAVISTREAM other;
    if (AVIFileGetStream(file, other, 0, index) != AVIERR_OK) break;
  }
  AVIFileRelease(file);

  AVISTREAMINFOA info;
  Check(AVIStreamInfo(first, info) == AVIERR_OK);
  PAVISTREAM streams[1] = {first};
  if (AVISaveV(files, "out", nullptr, 1, streams, nullptr) != AVIERR_OK) return 0;
  PAVIFILE saved;
  PAVISTREAM copy;
  Check(AVIFileOpen(saved, files, "out", OF_READ) == AVIERR_OK);
  Check(AVIFileGetStream(saved, copy, 0, 0) == AVIERR_OK);
  AVISTREAMINFOA copyInfo;
  Check(AVIStreamInfo(copy, copyInfo) == AVIERR_OK);
  Check(info.fccType != streamtypeVIDEO || copyInfo.dwLength == info.dwLength);
  return 0;
}
