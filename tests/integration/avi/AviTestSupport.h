#pragma once

// Helpers of the AVI library tests: files in memory with injectable failures, test
// compressors, synthetic bottom-up frames and their top-down 24-bit pictures, and running
// ffmpeg/ffprobe.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/VideoCompression.h"
#include "platform/avi/Avi.h"

namespace orvenna::avi_test {

// Files kept in memory. Writes past `writeLimit` bytes of a file fail after writing what fits
// (a full disk); with `failReads` every read fails.
class MemoryFiles final : public Files {
 public:
  using Bytes = std::vector<std::uint8_t>;

  std::uint64_t writeLimit = UINT64_MAX;
  bool failReads = false;

  std::string TempFolder() override { return "/memory/"; }
  bool Exists(const std::string& path) override { return contents_.count(path) != 0; }
  bool IsLocked(const std::string&) override { return false; }
  Opened OpenFile(const std::string& path, OpenMode mode) override;
  Result Delete(const std::string& path) override {
    if (contents_.erase(path) != 0) return Result::Ok();
    return Result::Failed(path + " is not there");
  }
  Result Rename(const std::string& from, const std::string& to) override;
  Result RenameNoReplace(const std::string& from, const std::string& to) override {
    if (Exists(to)) return Result::Failed(to + " is taken");
    return Rename(from, to);
  }
  bool NameTooLong(const std::string&) override { return false; }
  Result DeleteAtNextStart(const std::string&) override {
    return Result::Failed("memory files are not kept to the next start");
  }
  void DeletePendingFiles() override {}

  Bytes& Contents(const std::string& path);
  void Put(const std::string& path, Bytes bytes);
  // True when `path` holds exactly `bytes` (the same file, not a copy).
  bool Holds(const std::string& path, const std::shared_ptr<Bytes>& bytes) const;

 private:
  std::map<std::string, std::shared_ptr<Bytes>> contents_;
};

// Compressors for tests. 'PASS' hands frames on as they are (so the file stays decodable)
// and marks every `keyFrameEvery`-th frame as a key frame; 'FAIL' does the same but fails
// from its `failFrom`-th frame (counting from 0) on. Other handlers are not installed.
class TestCodecs final : public VideoCompressionManager {
 public:
  static constexpr std::uint32_t kPass = FourCC('P', 'A', 'S', 'S');
  static constexpr std::uint32_t kFail = FourCC('F', 'A', 'I', 'L');

  std::uint32_t keyFrameEvery = 1;
  int failFrom = 2;
  EncoderSettings lastSettings;

  bool Info(std::uint32_t fccType, int index, ICINFO& info) override;
  std::unique_ptr<VideoCompressor> Open(std::uint32_t, std::uint32_t, unsigned) override {
    return nullptr;
  }
  std::unique_ptr<FrameEncoder> NewEncoder(std::uint32_t fccHandler,
                                           const std::vector<std::uint8_t>& inputFormat,
                                           const EncoderSettings& settings) override;
  std::uint32_t Version() const override { return 0x10000; }
};

// A bitmap format (header, then a colour table of 256 entries at 8 bits per pixel).
std::vector<std::uint8_t> MakeFormat(int width, int height, int bitsPerPixel);
std::uint32_t ImageSize(const std::vector<std::uint8_t>& format);
// A bottom-up frame of the format whose picture depends on `seed`; row padding is zero.
std::vector<std::uint8_t> MakeFrame(const std::vector<std::uint8_t>& format, int seed);
// The picture of a 24-bit or 8-bit frame as top-down rows of blue, green, red (what ffmpeg's
// bgr24 output is).
std::vector<std::uint8_t> TopDownBgr(const std::vector<std::uint8_t>& format,
                                     const std::vector<std::uint8_t>& frame);

// The stream header the recorder hands to AVIFileCreateStream.
AVISTREAMINFOA VideoInfo(std::uint32_t handler, std::uint32_t rate,
                         const std::vector<std::uint8_t>& format);

// Creates `path` and writes `frames` (position, pixels) through a compressing stream with
// `handler`; returns the first failure (or the result of the releases).
AviResult WriteVideo(Files& files, const std::string& path, VideoCompressionManager& codecs,
                     std::uint32_t handler, std::uint32_t rate,
                     const std::vector<std::uint8_t>& format,
                     const std::vector<std::pair<int, std::vector<std::uint8_t>>>& frames);

// The first stream of the file at `path`, which must open (the test fails otherwise).
PAVISTREAM OpenFirstStream(Files& files, const std::string& path);

// Runs a shell command; its standard output, and its exit status in `status`.
std::string RunCommand(const std::string& command, int* status = nullptr);
// Single-quotes a path for the shell.
std::string Quote(const std::string& text);

// A private folder removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace orvenna::avi_test
