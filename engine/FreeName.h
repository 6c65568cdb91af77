#pragma once

#include <functional>
#include <string>

#include "platform/Files.h"

namespace orvenna {

// Free names for files kept for the user (Assembly.cpp), never replacing a file: `base +
// ending`, then numbered before the ending's last dot (".recovered-2.avi", ...), each with the
// last name of `base` shortened until the file system takes it.

// Tries `claim` on those names in turn until it succeeds; a claim must fail, changing nothing,
// when something stands at the name. After a failed claim the next name is tried while `taken`
// says the name is taken (by default: something stands there). The name claimed, or empty
// when the folder refuses.
std::string ClaimFreeName(Files& files, const std::string& base, const std::string& ending,
                          const std::function<bool(const std::string&)>& claim,
                          const std::function<bool(const std::string&)>& taken = nullptr);
// Moves `from` to the first free name. The name taken, or empty when the folder refuses.
std::string MoveToFreeName(Files& files, const std::string& from, const std::string& base,
                           const std::string& ending);

}  // namespace orvenna
