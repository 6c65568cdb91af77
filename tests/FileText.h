#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace orvenna::test {

// The whole content of a file; empty when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace orvenna::test
