#pragma once

#include <QString>
#include <stdexcept>

namespace orvenna {

// A text that should have been a number but is not; what() is the message for the user.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text as a 32-bit decimal integer (an optional sign; blanks around it are allowed).
// Throws EConvertError "'<text>' is not a valid integer value" for anything else, including
// an empty text and a number too large for 32 bits. Any thread.
int StrToInt(const QString& text);

}  // namespace orvenna
