#include "engine/TempFileWatch.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace orvenna {

TempFileWatch::TempFileWatch(Files& files, std::string path, std::string what)
    : files_(files), path_(std::move(path)), what_(std::move(what)) {}

void TempFileWatch::Start() {
  watch_ = files_.Open(path_, OpenMode::Read);
}

Result TempFileWatch::Rescue() {
  const std::unique_ptr<File> watch = std::move(watch_);
  if (!watch || watch->IsAt(path_)) return Result::Ok();
  const std::string lost = path_;
  const std::string copy = lost + ".rescued";
  std::unique_ptr<File> to = files_.Open(copy, OpenMode::Create);
  const std::int64_t length = watch->Length();
  bool copied = to != nullptr && length >= 0;
  std::vector<std::uint8_t> buffer(1 << 20);
  for (std::int64_t at = 0; copied && at < length; at += static_cast<std::int64_t>(buffer.size())) {
    const auto piece = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), length - at));
    const auto offset = static_cast<std::uint64_t>(at);
    copied =
        watch->ReadAt(offset, buffer.data(), piece) && to->WriteAt(offset, buffer.data(), piece);
  }
  copied = copied && to->Flush();
  to.reset();
  if (!copied) {
    static_cast<void>(files_.Delete(copy));
    return Result::Failed("The temporary file " + lost +
                          " was deleted or replaced during the recording, and " + what_ +
                          " could not be copied out of it.");
  }
  path_ = copy;
  rescued_ = true;
  note_ = "The temporary file " + lost + " was deleted or replaced during the recording; " + what_ +
          " was copied out of it and is saved from the copy.";
  return Result::Ok();
}

}  // namespace orvenna
