// Runs a command while the compositor records its primary monitor into a PipeWire stream, for
// recorders that read a stream by its node (GStreamer's pipewiresrc path=NODE) beside ours.
//
//   orvenna-screencast-run COMMAND [ARG ...]
//
// Reads the desktop's environment from ORVENNA_TEST_WAYLAND (scripts/lib/wayland.sh), starts a
// screen cast through mutter's own D-Bus API (no dialog), replaces every "@NODE@" in the
// arguments with the stream's node, runs the command and answers its exit status. The cast
// lives as long as this program's bus connection, so it must outlive the command. The pointer
// comes as metadata, as the portal gives it to our recorder: the compositor does the same work
// for both.

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "tests/integration/wayland_test_support.h"

namespace {

// The command with every "@NODE@" in its arguments replaced by `node`.
std::vector<std::string> WithNode(std::vector<std::string> command, std::uint32_t node) {
  static const std::string placeholder = "@NODE@";
  for (std::string& argument : command) {
    for (auto at = argument.find(placeholder); at != std::string::npos;
         at = argument.find(placeholder, at)) {
      const std::string value = std::to_string(node);
      argument.replace(at, placeholder.size(), value);
      at += value.size();
    }
  }
  return command;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: orvenna-screencast-run COMMAND [ARG ...]  (@NODE@ is the stream's node)\n";
    return 2;
  }
  if (!orvenna::wltest::UseDesktopEnvironment()) {
    std::cerr << "orvenna-screencast-run: ORVENNA_TEST_WAYLAND names no desktop environment file\n";
    return 2;
  }
  orvenna::wltest::MutterScreenCast cast;
  std::string error;
  if (!cast.Start(error)) {
    std::cerr << "orvenna-screencast-run: no screen cast: " << error << "\n";
    return 1;
  }
  std::cerr << "orvenna-screencast-run: PipeWire node " << cast.Node() << "\n";

  const std::vector<std::string> command =
      WithNode(std::vector<std::string>(argv + 1, argv + argc), cast.Node());
  std::vector<char*> arguments;
  for (const std::string& argument : command)
    arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  pid_t child = -1;
  if (posix_spawnp(&child, arguments[0], nullptr, nullptr, arguments.data(), environ) != 0) {
    std::cerr << "orvenna-screencast-run: cannot run " << command[0] << "\n";
    cast.Stop(error);
    return 127;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!cast.Stop(error)) std::cerr << "orvenna-screencast-run: " << error << "\n";
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
}
