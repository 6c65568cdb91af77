#include "platform/screencast/KeptChoice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace orvenna {
namespace {

// Only the characters of a token the desktop hands out (a UUID, or letters, digits and
// punctuation); anything else means the file is not ours.
bool PlausibleToken(const std::string& token) {
  if (token.size() > 256) return false;
  for (const char c : token) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

std::string DefaultKeptChoicePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/orvenna/screen-choice";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/')
    return std::string(home) + "/.config/orvenna/screen-choice";
  return "";
}

KeptChoice LoadKeptChoice(const std::string& path) {
  std::ifstream file(path);
  std::string token, sizeLine;
  if (path.empty() || !std::getline(file, token) || !PlausibleToken(token)) return {};
  KeptChoice choice{token, {}};
  if (std::getline(file, sizeLine)) {
    std::istringstream size(sizeLine);
    int width = 0, height = 0;
    if (size >> width >> height && width > 0 && height > 0 && width <= 65535 && height <= 65535)
      choice.monitorSize = Size{width, height};
  }
  return choice;
}

bool SaveKeptChoice(const std::string& path, const KeptChoice& choice) {
  if (path.empty() || !PlausibleToken(choice.restoreToken) || !MakeFolders(path)) return false;
  const std::string temporary = path + ".new";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::string text = choice.restoreToken + "\n" + std::to_string(choice.monitorSize.width) +
                           " " + std::to_string(choice.monitorSize.height) + "\n";
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace orvenna
