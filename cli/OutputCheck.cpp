#include "cli/OutputCheck.h"

#include <sys/stat.h>

namespace orvenna {

std::string ExistingOutputProblem(const std::string& output, bool replace) {
  struct stat status;
  if (lstat(output.c_str(), &status) != 0) return "";  // nothing there (or nothing we may see)
  if (S_ISDIR(status.st_mode)) return output + " is a folder; name a file to record into";
  if (replace) return "";
  return output + " exists; give --yes to replace it";
}

}  // namespace orvenna
