#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace orvenna {

// What kind of failure an operation met, which decides what its caller does next.
enum class FailureKind : std::uint8_t {
  Temporary,  // may succeed when tried again soon (a busy server, one lost reply)
  Permanent,  // will not succeed again (a closed display, a refused format)
  OutOfRoom,  // the disk, the quota or the largest file size was reached
  Cancelled,  // the user or the program asked for it to stop
};

// The outcome of an operation inside the program: success, or a failure with its kind and
// its cause in words ("the X display :1 closed the connection"). The layer that talks to the
// user turns a failure into the message the user sees and writes the cause to the log.
class [[nodiscard]] Result {
 public:
  static Result Ok() { return Result(); }
  static Result Failed(std::string cause, FailureKind kind = FailureKind::Permanent) {
    return Result(std::move(cause), kind);
  }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& Cause() const { return cause_; }
  // Meaningful only for a failure.
  FailureKind Kind() const { return kind_; }
  bool Is(FailureKind kind) const { return !ok_ && kind_ == kind; }

 private:
  Result() = default;
  Result(std::string cause, FailureKind kind) : ok_(false), kind_(kind), cause_(std::move(cause)) {}

  bool ok_ = true;
  FailureKind kind_ = FailureKind::Permanent;
  std::string cause_;
};

}  // namespace orvenna
