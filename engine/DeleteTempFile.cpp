#include <algorithm>
#include <random>
#include <vector>

#include "engine/Vistrel.h"

namespace orvenna {
namespace {

constexpr int kWipePasses = 3;
constexpr std::size_t kWipeBlock = 4096;
// Blocks written per call: a recording of gigabytes would otherwise take a million calls.
constexpr std::size_t kBlocksPerWrite = 256;
constexpr int kDeleteAttempts = 25;

// Overwrites the whole file three times with a block of random bytes repeated, each pass
// flushed to the disk, so that the recording cannot be read back from the freed blocks.
void Wipe(File& file) {
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> buffer(kWipeBlock * kBlocksPerWrite);
  const std::int64_t length = file.Length();
  for (int pass = 0; pass < kWipePasses; ++pass) {
    for (std::size_t i = 0; i < kWipeBlock; ++i)
      buffer[i] = static_cast<std::uint8_t>(byte(random));
    for (std::size_t copy = 1; copy < kBlocksPerWrite; ++copy) {
      std::copy_n(buffer.begin(), kWipeBlock,
                  buffer.begin() + static_cast<std::ptrdiff_t>(copy * kWipeBlock));
    }
    for (std::int64_t offset = 0; offset < length;
         offset += static_cast<std::int64_t>(buffer.size())) {
      const auto piece = static_cast<std::size_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), length - offset));
      if (!file.WriteAt(static_cast<std::uint64_t>(offset), buffer.data(), piece)) return;
    }
    static_cast<void>(file.Flush());
  }
}

}  // namespace

bool TVistrel::DeleteTempFile(const std::string& fileName) {
  TVistrel* engine = Process().Instance;
  if (!engine) engine = this;
  Files& files = platform_.files;
  platform_.shell.PushBusyCursor();

  const bool wipeable = files.Exists(fileName) && !files.IsLocked(fileName);
  if (wipeable) {
    if (auto file = files.Open(fileName, OpenMode::ReadWrite)) Wipe(*file);
  }
  bool result = false;
  for (int attempt = 1; attempt <= kDeleteAttempts; ++attempt) {
    bool continueWork = true;
    if (!files.Exists(fileName)) {
      if (engine->OnDeleting) engine->OnDeleting(*engine, 100, "", continueWork);
      result = true;
      break;
    }
    if (engine->OnDeleting) {
      engine->OnDeleting(*engine, attempt * 4, "Delete Temp File", continueWork);
      if (!continueWork) {
        bool ignored = true;
        engine->OnDeleting(*engine, 100, "", ignored);
        result = false;
        break;
      }
    }
    // A file another process holds (or anything that is not a plain file of ours) is not
    // touched now; it is removed when the next engine starts.
    result = (wipeable ? files.Delete(fileName) : files.DeleteAtNextStart(fileName)).ok();
  }
  platform_.shell.PopCursor();
  return result;
}

}  // namespace orvenna
