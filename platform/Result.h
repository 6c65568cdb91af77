#pragma once

#include <string>
#include <utility>

namespace orvenna {

// The outcome of a platform operation: success, or a failure with its cause in words ("the X
// display :1 closed the connection"). The engine turns a failure into the message the user
// sees and writes the cause to the diagnostic log.
class [[nodiscard]] Result {
 public:
  static Result Ok() { return Result(); }
  static Result Failed(std::string cause) { return Result(std::move(cause)); }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& Cause() const { return cause_; }

 private:
  Result() = default;
  explicit Result(std::string cause) : ok_(false), cause_(std::move(cause)) {}

  bool ok_ = true;
  std::string cause_;
};

}  // namespace orvenna
