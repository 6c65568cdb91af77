#pragma once

// Private PulseAudio servers for the tests of the PulseAudio backend, configured like the
// shared test server (scripts/lib/sound.sh, whose path is ORVENNA_SOUND_SCRIPT).

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "tests/integration/Command.h"

namespace orvenna::test {

// Sets an environment variable for the scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A folder of its own under the temporary folder, removed with everything in it.
struct TemporaryFolder {
  std::filesystem::path path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "pulse-test.XXXXXX").string();
    return std::filesystem::path(mkdtemp(name.data()));
  }();
  ~TemporaryFolder() { std::filesystem::remove_all(path); }
};

// A PulseAudio server of the test's own in a folder of its own, at an address that stays the
// same when it is killed and started again. The shell replaces itself with the server, so
// that the signals of Kill reach the server; LC_ALL=C keeps the device descriptions English.
class PrivateSoundServer {
 public:
  explicit PrivateSoundServer(bool start = true) {
    if (start) Start();
  }
  ~PrivateSoundServer() { Kill(SIGKILL); }
  PrivateSoundServer(const PrivateSoundServer&) = delete;
  PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

  std::string Address() const { return "unix:" + (folder_.path / "pulse" / "native").string(); }

  void Start() {
    std::string command = "cd '" + folder_.path.string() +
                          "' && . '" ORVENNA_SOUND_SCRIPT
                          "' && write_pulse_config >test.pa && LC_ALL=C HOME=$PWD"
                          " XDG_RUNTIME_DIR=$PWD PULSE_STATE_PATH=$PWD exec pulseaudio -n"
                          " -F test.pa --daemonize=no --disallow-exit --exit-idle-time=-1"
                          " --use-pid-file=no </dev/null >>server.log 2>&1";
    char* argv[] = {const_cast<char*>("bash"), const_cast<char*>("-c"), command.data(), nullptr};
    if (posix_spawnp(&pid_, "bash", nullptr, nullptr, argv, environ) != 0) pid_ = -1;
  }

  void Kill(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // Runs pactl against this server.
  CommandResult Pactl(const std::string& arguments) const {
    return RunCommand("PULSE_SERVER='" + Address() + "' pactl " + arguments + " 2>&1");
  }

  // Waits until the server answers with every source of its configuration and its default
  // source set (the last line of the configuration); false when it did not within `timeout`.
  bool WaitUntilReady(std::chrono::seconds timeout = std::chrono::seconds(10)) const {
    const auto giveUp = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < giveUp) {
      const std::string sources = Pactl("list short sources").output;
      if (sources.find("discard.monitor") != std::string::npos &&
          sources.find("sine") != std::string::npos &&
          Pactl("get-default-source").output == "nullsink.monitor\n") {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  TemporaryFolder folder_;
  pid_t pid_ = -1;
};

}  // namespace orvenna::test
