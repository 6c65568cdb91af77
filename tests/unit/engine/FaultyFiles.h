#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Files.h"

namespace orvenna {

// Real files, except that a file whose path `full` picks holds at most `room` bytes: a write
// past that fails as on a full disk. Any thread, as the real files are.
class FaultyFiles final : public Files {
 public:
  explicit FaultyFiles(Files& real) : real_(real) {}

  std::function<bool(const std::string& path)> full;  // none: no file runs out of room
  std::uint64_t room = 0;

  std::string TempFolder() override { return real_.TempFolder(); }
  bool Exists(const std::string& path) override { return real_.Exists(path); }
  bool IsLocked(const std::string& path) override { return real_.IsLocked(path); }
  Opened OpenFile(const std::string& path, OpenMode mode) override {
    Opened opened = real_.OpenFile(path, mode);
    if (!opened.file || !full || !full(path)) return opened;
    return {std::make_unique<CrampedFile>(std::move(opened.file), room), Result::Ok()};
  }
  Result Delete(const std::string& path) override { return real_.Delete(path); }
  Result Rename(const std::string& from, const std::string& to) override {
    return real_.Rename(from, to);
  }
  Result RenameNoReplace(const std::string& from, const std::string& to) override {
    return real_.RenameNoReplace(from, to);
  }
  Result MakeUserFile(const std::string& path) override { return real_.MakeUserFile(path); }
  bool NameTooLong(const std::string& path) override { return real_.NameTooLong(path); }
  Result DeleteAtNextStart(const std::string& path) override {
    return real_.DeleteAtNextStart(path);
  }
  void DeletePendingFiles() override { real_.DeletePendingFiles(); }

 private:
  class CrampedFile final : public File {
   public:
    CrampedFile(std::unique_ptr<File> file, std::uint64_t room)
        : file_(std::move(file)), room_(room) {}
    Result ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
      return file_->ReadAt(offset, data, size);
    }
    Result WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
      if (offset + size <= room_) return file_->WriteAt(offset, data, size);
      full_ = true;
      return Result::Failed("the test's disk is full", FailureKind::OutOfRoom);
    }
    std::int64_t Length() override { return file_->Length(); }
    Result Resize(std::uint64_t length) override {
      if (length <= room_) return file_->Resize(length);
      full_ = true;
      return Result::Failed("the test's disk is full", FailureKind::OutOfRoom);
    }
    Result Flush() override { return file_->Flush(); }
    bool RanOutOfRoom() const override { return full_; }
    bool IsAt(const std::string& path) override { return file_->IsAt(path); }

   private:
    std::unique_ptr<File> file_;
    std::uint64_t room_;
    bool full_ = false;
  };

  Files& real_;
};

}  // namespace orvenna
