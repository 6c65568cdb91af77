#include "platform/Containers.h"

#include <algorithm>
#include <cctype>

#include "platform/Bitmap.h"

namespace orvenna {
namespace {

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Whether the file name of `path` is nothing but one of the endings that choose a kind (".mp4"):
// such a name is a hidden file, which a user who typed an ending alone did not mean.
bool OnlyAnEnding(const std::string& path) {
  const std::string name = Lowered(path.substr(path.rfind('/') + 1));
  return name == ".avi" || name == ".mkv" || name == ".mp4";
}

}  // namespace

std::string NameEnding(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) return "";
  return path.substr(dot);
}

std::optional<Container> ContainerOfName(const std::string& path) {
  if (OnlyAnEnding(path)) return std::nullopt;
  const std::string ending = Lowered(NameEnding(path));
  if (ending.empty() || ending == ".avi") return Container::Avi;
  if (ending == ".mkv") return Container::Matroska;
  if (ending == ".mp4") return Container::Mp4;
  return std::nullopt;
}

bool ContainerCarries(Container container, std::uint32_t handler) {
  // Players of MP4 files (browsers, phones) decode these two; AVI and Matroska files carry any
  // compressor's frames as they are.
  if (container != Container::Mp4) return true;
  return handler == FourCC('H', '2', '6', '4') || handler == FourCC('F', 'M', 'P', '4');
}

std::string ContainerProblem(const std::string& path, std::uint32_t handler,
                             const std::string& compressorName) {
  if (OnlyAnEnding(path)) {
    return path +
           ": the name is an ending alone, which would make a hidden file with no name; "
           "give the file a name before its ending (recording" +
           path.substr(path.rfind('/') + 1) + ").";
  }
  const std::optional<Container> container = ContainerOfName(path);
  if (!container) {
    return path + ": the ending " + NameEnding(path) +
           " is not a kind of file a recording is saved as; name the file .avi (AVI), .mkv "
           "(Matroska) or .mp4 (MP4), or with no ending for AVI.";
  }
  if (ContainerCarries(*container, handler)) return "";
  return path + ": MP4 files carry H.264 or MPEG-4 pictures, not " + compressorName +
         "; choose one of those compressors, or name the file .mkv or .avi to keep " +
         compressorName + ".";
}

}  // namespace orvenna
