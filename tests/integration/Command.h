#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/FileText.h"

namespace orvenna::test {

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output (and standard error when the command redirects it)
};

// Runs `command` through the shell and collects its standard output.
inline CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The value of `key=` in ffprobe's "default=nw=1" output, or empty.
inline std::string ProbeValue(const std::string& output, const std::string& key) {
  const std::string prefix = key + "=";
  std::size_t at = output.find(prefix);
  while (at != std::string::npos && at != 0 && output[at - 1] != '\n')
    at = output.find(prefix, at + 1);
  if (at == std::string::npos) return "";
  const std::size_t end = output.find('\n', at);
  return output.substr(at + prefix.size(), end - at - prefix.size());
}

// Written frames (non-empty packets) of the first video stream; -1 when ffprobe cannot read it.
inline int WrittenFrames(const std::filesystem::path& file) {
  const CommandResult sizes =
      RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 '" +
                 file.string() + "'");
  if (sizes.exitCode != 0) return -1;
  int frames = 0;
  std::istringstream lines(sizes.output);
  for (std::string line; std::getline(lines, line);) frames += std::atoi(line.c_str()) > 0;
  return frames;
}

}  // namespace orvenna::test
