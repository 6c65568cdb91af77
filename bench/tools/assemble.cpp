// Assembles a recording's temporary files, a video AVI file and a WAVE sound file, into the
// file a recording is saved as, the way the recorder's last step does:
//
//   orvenna-assemble VIDEO.avi SOUND.wav|- OUT.avi|OUT.mkv|OUT.mp4
//
// Both inputs are read by our AVI library; "-" saves the picture alone. OUT must not exist
// yet; its ending chooses the kind of file. Prints one line per stream read (to standard
// error) and the result code of the save; exits 0 only when the save succeeded. A failed save
// removes what it wrote.

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/Containers.h"
#include "platform/PosixFiles.h"
#include "platform/avi/Avi.h"
#include "platform/mux/LibavContainerWriter.h"

namespace {

using namespace orvenna;

// A four-character code as text, with a dot for each byte that is not a printable character.
std::string PrintableCode(std::uint32_t code) {
  std::string text;
  for (int shift = 0; shift < 32; shift += 8) {
    const char c = static_cast<char>((code >> shift) & 0xff);
    text += c >= 32 && c < 127 ? c : '.';
  }
  return text;
}

// The first stream of `type` in the file at `path`, told on standard error; null, with why,
// when the file cannot be read or holds no such stream.
PAVISTREAM OpenStream(Files& files, const std::string& path, std::uint32_t type) {
  PAVIFILE file;
  const AviResult opened = AVIFileOpen(file, files, path, OF_READ);
  if (opened != AVIERR_OK) {
    std::fprintf(stderr, "assemble: %s cannot be opened (0x%08" PRIx32 ")\n", path.c_str(),
                 static_cast<std::uint32_t>(opened));
    return nullptr;
  }
  PAVISTREAM stream;
  const AviResult got = AVIFileGetStream(file, stream, type, 0);
  AVIFileRelease(file);
  AVISTREAMINFOA info;
  if (got != AVIERR_OK || AVIStreamInfo(stream, info) != AVIERR_OK) {
    std::fprintf(stderr, "assemble: %s holds no %s stream\n", path.c_str(),
                 PrintableCode(type).c_str());
    return nullptr;
  }
  std::fprintf(stderr, "assemble: %s: %s %s, %" PRIu32 " positions at %" PRIu32 "/%" PRIu32 "\n",
               path.c_str(), PrintableCode(info.fccType).c_str(),
               PrintableCode(info.fccHandler).c_str(), info.dwLength, info.dwRate, info.dwScale);
  return stream;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s VIDEO.avi SOUND.wav|- OUT.avi|OUT.mkv|OUT.mp4\n", argv[0]);
    return 2;
  }
  const std::string videoPath = argv[1], soundPath = argv[2], outPath = argv[3];
  const std::optional<Container> container = ContainerOfName(outPath);
  if (!container) {
    std::fprintf(stderr, "assemble: %s does not end in .avi, .mkv or .mp4\n", outPath.c_str());
    return 2;
  }

  PosixFiles files;
  AVIFileInit();
  PAVISTREAM streams[2];
  int count = 1;
  streams[0] = OpenStream(files, videoPath, streamtypeVIDEO);
  if (soundPath != "-") {
    streams[1] = OpenStream(files, soundPath, streamtypeAUDIO);
    count = 2;
  }
  if (!streams[0] || (count == 2 && !streams[1])) return 1;

  Files::Opened output = files.OpenFile(outPath, OpenMode::CreateNew);
  if (!output.file) {
    std::fprintf(stderr, "assemble: %s cannot be created: %s\n", outPath.c_str(),
                 output.result.Cause().c_str());
    return 1;
  }
  const AVISAVECALLBACK quiet = [](int) { return 0; };
  const AviResult result =
      *container == Container::Avi
          ? AVISaveInto(*output.file, quiet, count, streams)
          : LibavContainerWriter().SaveInto(*container, *output.file, quiet, count, streams);
  output.file.reset();  // the save has flushed it
  for (PAVISTREAM& stream : streams) {
    if (stream) AVIStreamRelease(stream);
  }
  AVIFileExit();

  std::printf("result 0x%08" PRIx32 "%s\n", static_cast<std::uint32_t>(result),
              result == AVIERR_OK ? " (ok)" : "");
  if (result != AVIERR_OK) {
    if (!files.Delete(outPath).ok())
      std::fprintf(stderr, "assemble: %s could not be removed\n", outPath.c_str());
    return 1;
  }
  return 0;
}
