#pragma once

#include <cstddef>
#include <string>

namespace orvenna {

// The UTF-16 text of a fixed-size field, up to its first zero or `capacity` units, as UTF-8.
std::string Utf16FieldToUtf8(const char16_t* field, std::size_t capacity);

}  // namespace orvenna
