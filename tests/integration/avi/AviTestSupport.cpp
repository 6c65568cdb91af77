#include "tests/integration/avi/AviTestSupport.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace orvenna::avi_test {
namespace {

class MemoryFile final : public File {
 public:
  MemoryFile(std::shared_ptr<MemoryFiles::Bytes> bytes, const MemoryFiles& owner)
      : bytes_(std::move(bytes)), owner_(owner) {}

  Result ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
    if (owner_.failReads) return Result::Failed("reads fail");
    if (offset > bytes_->size() || size > bytes_->size() - offset) {
      return Result::Failed("a read past the end");
    }
    if (size > 0) std::memcpy(data, bytes_->data() + offset, size);
    return Result::Ok();
  }
  Result WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    const std::uint64_t end = offset + size;
    const std::uint64_t fits = std::min(end, std::max(owner_.writeLimit, offset)) - offset;
    if (bytes_->size() < offset + fits) bytes_->resize(offset + fits);
    if (fits > 0) std::memcpy(bytes_->data() + offset, data, fits);
    if (fits == size) return Result::Ok();
    return Result::Failed("the memory disk is full", FailureKind::OutOfRoom);
  }
  std::int64_t Length() override { return static_cast<std::int64_t>(bytes_->size()); }
  Result Resize(std::uint64_t length) override {
    if (length > owner_.writeLimit) {
      return Result::Failed("the memory disk is full", FailureKind::OutOfRoom);
    }
    bytes_->resize(length);
    return Result::Ok();
  }
  Result Flush() override { return Result::Ok(); }
  bool RanOutOfRoom() const override { return false; }
  bool IsAt(const std::string& path) override { return owner_.Holds(path, bytes_); }

 private:
  std::shared_ptr<MemoryFiles::Bytes> bytes_;
  const MemoryFiles& owner_;
};

class PassEncoder final : public FrameEncoder {
 public:
  PassEncoder(std::vector<std::uint8_t> format, std::uint32_t keyFrameEvery, int failFrom)
      : format_(std::move(format)), keyFrameEvery_(keyFrameEvery), failFrom_(failFrom) {}

  const std::vector<std::uint8_t>& OutputFormat() const override { return format_; }
  Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override {
    if (failFrom_ >= 0 && count_ >= failFrom_) return Result::Failed("the test encoder fails");
    out.data.assign(pixels, pixels + size);
    out.keyFrame = count_ % keyFrameEvery_ == 0;
    ++count_;
    return Result::Ok();
  }

 private:
  std::vector<std::uint8_t> format_;
  std::uint32_t keyFrameEvery_;
  int failFrom_;
  int count_ = 0;
};

BitmapInfoHeader HeaderOf(const std::vector<std::uint8_t>& format) {
  BitmapInfoHeader header;
  std::memcpy(&header, format.data(), sizeof(header));
  return header;
}

}  // namespace

Files::Opened MemoryFiles::OpenFile(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::CreateNew && Exists(path)) return {nullptr, Result::Failed("File exists")};
  if (mode == OpenMode::Create || mode == OpenMode::CreateNew) {
    contents_[path] = std::make_shared<Bytes>();
  }
  const auto found = contents_.find(path);
  if (found == contents_.end()) return {nullptr, Result::Failed("No such file or directory")};
  return {std::make_unique<MemoryFile>(found->second, *this), Result::Ok()};
}

Result MemoryFiles::Rename(const std::string& from, const std::string& to) {
  const auto found = contents_.find(from);
  if (found == contents_.end()) return Result::Failed(from + " is not there");
  std::shared_ptr<Bytes> bytes = found->second;
  contents_.erase(found);
  contents_[to] = std::move(bytes);
  return Result::Ok();
}

bool MemoryFiles::Holds(const std::string& path, const std::shared_ptr<Bytes>& bytes) const {
  const auto found = contents_.find(path);
  return found != contents_.end() && found->second == bytes;
}

MemoryFiles::Bytes& MemoryFiles::Contents(const std::string& path) {
  return *contents_.at(path);
}

void MemoryFiles::Put(const std::string& path, Bytes bytes) {
  contents_[path] = std::make_shared<Bytes>(std::move(bytes));
}

bool TestCodecs::Info(std::uint32_t fccType, int index, ICINFO& info) {
  if (fccType != ICTYPE_VIDEO || index < 0 || index > 1) return false;
  info.fccType = ICTYPE_VIDEO;
  info.fccHandler = index == 0 ? kPass : kFail;
  return true;
}

std::unique_ptr<FrameEncoder> TestCodecs::NewEncoder(std::uint32_t fccHandler,
                                                     const std::vector<std::uint8_t>& inputFormat,
                                                     const EncoderSettings& settings) {
  lastSettings = settings;
  if (fccHandler == kPass) return std::make_unique<PassEncoder>(inputFormat, keyFrameEvery, -1);
  if (fccHandler == kFail) {
    return std::make_unique<PassEncoder>(inputFormat, keyFrameEvery, failFrom);
  }
  return nullptr;
}

std::vector<std::uint8_t> MakeFormat(int width, int height, int bitsPerPixel) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = static_cast<std::uint16_t>(bitsPerPixel);
  header.sizeImage = static_cast<std::uint32_t>(DibRowBytes(width, bitsPerPixel) * height);
  header.clrUsed = bitsPerPixel == 8 ? 256 : 0;
  std::vector<std::uint8_t> format(sizeof(header));
  std::memcpy(format.data(), &header, sizeof(header));
  if (bitsPerPixel == 8) {
    for (int i = 0; i < 256; ++i) {
      const RgbQuad entry{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                          static_cast<std::uint8_t>(i * 37), 0};
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(&entry);
      format.insert(format.end(), bytes, bytes + sizeof(entry));
    }
  }
  return format;
}

std::uint32_t ImageSize(const std::vector<std::uint8_t>& format) {
  return HeaderOf(format).sizeImage;
}

std::vector<std::uint8_t> MakeFrame(const std::vector<std::uint8_t>& format, int seed) {
  const BitmapInfoHeader header = HeaderOf(format);
  const int bytesPerPixel = header.bitCount / 8;
  const std::size_t rowBytes = DibRowBytes(header.width, header.bitCount);
  std::vector<std::uint8_t> frame(rowBytes * header.height, 0);
  for (int row = 0; row < header.height; ++row) {
    for (int x = 0; x < header.width; ++x) {
      std::uint8_t* pixel = frame.data() + row * rowBytes + x * bytesPerPixel;
      for (int c = 0; c < bytesPerPixel; ++c) {
        pixel[c] = static_cast<std::uint8_t>(x * (5 + 2 * c) + row * (3 + c) + seed * (7 + c));
      }
    }
  }
  return frame;
}

std::vector<std::uint8_t> TopDownBgr(const std::vector<std::uint8_t>& format,
                                     const std::vector<std::uint8_t>& frame) {
  const BitmapInfoHeader header = HeaderOf(format);
  const int bytesPerPixel = header.bitCount / 8;
  const std::size_t rowBytes = DibRowBytes(header.width, header.bitCount);
  std::vector<std::uint8_t> picture;
  picture.reserve(std::size_t{3} * header.width * header.height);
  for (int y = 0; y < header.height; ++y) {
    const std::uint8_t* row = frame.data() + (header.height - 1 - y) * rowBytes;
    if (bytesPerPixel == 3) {
      picture.insert(picture.end(), row, row + 3 * header.width);
      continue;
    }
    for (int x = 0; x < header.width; ++x) {
      const std::uint8_t* colour = format.data() + sizeof(BitmapInfoHeader) + 4 * row[x];
      picture.insert(picture.end(), colour, colour + 3);
    }
  }
  return picture;
}

AVISTREAMINFOA VideoInfo(std::uint32_t handler, std::uint32_t rate,
                         const std::vector<std::uint8_t>& format) {
  const BitmapInfoHeader header = HeaderOf(format);
  AVISTREAMINFOA info;
  info.fccType = streamtypeVIDEO;
  info.fccHandler = handler;
  info.dwFlags = 12;
  info.dwScale = 1;
  info.dwRate = rate;
  info.dwSuggestedBufferSize = header.sizeImage;
  info.rcFrameRight = header.width;
  info.rcFrameBottom = header.height;
  std::strcpy(info.szName, "Test codec");
  return info;
}

AviResult WriteVideo(Files& files, const std::string& path, VideoCompressionManager& codecs,
                     std::uint32_t handler, std::uint32_t rate,
                     const std::vector<std::uint8_t>& format,
                     const std::vector<std::pair<int, std::vector<std::uint8_t>>>& frames) {
  PAVIFILE file;
  PAVISTREAM raw;
  PAVISTREAM compressed;
  AviResult result = AVIFileOpen(file, files, path, OF_WRITE | OF_CREATE);
  if (result == AVIERR_OK)
    result = AVIFileCreateStream(file, raw, VideoInfo(handler, rate, format));
  AVICOMPRESSOPTIONS options;
  options.fccType = streamtypeVIDEO;
  options.fccHandler = handler;
  options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
  if (result == AVIERR_OK) result = AVIMakeCompressedStream(compressed, raw, &options, codecs);
  if (result == AVIERR_OK) {
    result = AVIStreamSetFormat(compressed, 0, format.data(), static_cast<int>(format.size()));
  }
  for (const auto& [position, pixels] : frames) {
    if (result != AVIERR_OK) break;
    result = AVIStreamWrite(compressed, position, 1, pixels.data(), static_cast<int>(pixels.size()),
                            AVIIF_KEYFRAME, nullptr, nullptr);
  }
  for (AviResult released : {raw ? AVIStreamRelease(raw) : AVIERR_OK,
                             compressed ? AVIStreamRelease(compressed) : AVIERR_OK,
                             file ? AVIFileRelease(file) : AVIERR_OK}) {
    if (result == AVIERR_OK) result = released;
  }
  return result;
}

std::string RunCommand(const std::string& command, int* status) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  std::string output;
  char buffer[65536];
  for (std::size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, n);
  const int result = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvenna-avi-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

PAVISTREAM OpenFirstStream(Files& files, const std::string& path) {
  PAVIFILE file;
  PAVISTREAM stream;
  EXPECT_EQ(AVIFileOpen(file, files, path, OF_READ), AVIERR_OK) << path;
  EXPECT_EQ(AVIFileGetStream(file, stream, 0, 0), AVIERR_OK) << path;
  AVIFileRelease(file);
  return stream;
}

}  // namespace orvenna::avi_test
