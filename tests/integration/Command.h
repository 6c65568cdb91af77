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

// `text` single-quoted for the shell, quotes inside it included.
inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

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

// Whether GStreamer, a reader written apart from ffmpeg's, reads the file at `file` to its end
// without an error. Now and then GStreamer stalls on a file that it reads at once on the next
// try (more often on a loaded machine): a run that stalls is tried again, twice at most.
inline bool GstreamerReads(const std::filesystem::path& file) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const CommandResult run =
        RunCommand("timeout 20 gst-launch-1.0 -q filesrc location=" + Quote(file.string()) +
                   " ! decodebin ! fakesink 2>&1");
    constexpr int kTimedOut = 124;
    if (run.exitCode != kTimedOut) {
      return run.exitCode == 0 && run.output.find("ERROR") == std::string::npos;
    }
  }
  return false;
}

}  // namespace orvenna::test
