#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvenna {

// The kinds of file a recording is saved as. The temporary files of a recording are AVI and
// WAVE whatever the kind; only the final assembly writes the chosen one.
enum class Container {
  Avi,       // every compressor, sound as recorded
  Matroska,  // every compressor, sound as recorded (PCM)
  Mp4,       // H.264 or MPEG-4 pictures, sound encoded to AAC
};

// The ending of the file name of `path` from its last dot ("talk.MP4" -> ".MP4"); empty when
// the name has none (a dot in a folder's name or at the start of the file name is not one).
std::string NameEnding(const std::string& path);
// The kind a recording named `path` is saved as, by the ending of its name in any case: .avi,
// .mkv or .mp4; a name without an ending is an AVI file. None for any other ending, and for a
// name that is one of those endings alone.
std::optional<Container> ContainerOfName(const std::string& path);
// Whether `container` carries pictures of the compressor whose four-character code is
// `handler`.
bool ContainerCarries(Container container, std::uint32_t handler);
// Empty when a recording named `path` whose pictures come from the compressor `handler`
// (named `compressorName` for the user) can be saved; else one line saying what works.
std::string ContainerProblem(const std::string& path, std::uint32_t handler,
                             const std::string& compressorName);

}  // namespace orvenna
