#pragma once

#include <string>

namespace orvenna {

// Empty when a recording may be saved as `output`; else a one-line reason: something already
// stands there and `replace` (--yes) was not given. A folder is never replaced.
std::string ExistingOutputProblem(const std::string& output, bool replace);

}  // namespace orvenna
