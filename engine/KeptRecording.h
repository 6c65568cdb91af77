#pragma once

#include <string>
#include <vector>

namespace orvenna {

// What became of a recording's temporary files that were kept for the user.
struct KeptFiles {
  bool anything = false;           // the files held something to keep
  bool asOneFile = false;          // picture and sound were written into one new AVI file
  std::vector<std::string> names;  // the kept files: the AVI file, or the files as they were
};

// `path` as seen from the working folder, so that a later run elsewhere finds the same file.
std::string AbsolutePath(const std::string& path);
// The folder part of `path` with its '/' ("" without one).
std::string FolderPart(const std::string& path);
// The file name of `path` without its ".avi" ending (any case); "Recording" when nothing is
// left.
std::string StemPart(const std::string& path);

}  // namespace orvenna
