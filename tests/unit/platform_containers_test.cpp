// The kind of file a recording is saved as, chosen by its name's ending, and the line that
// refuses a name or a compressor before anything is recorded.

#include <gtest/gtest.h>

#include "platform/Bitmap.h"
#include "platform/Containers.h"

namespace orvenna {
namespace {

TEST(Containers, TheEndingOfTheFileNameChoosesTheKind) {
  const struct {
    const char* path;
    std::optional<Container> kind;
  } cases[] = {
      {"talk.avi", Container::Avi},
      {"talk.AVI", Container::Avi},
      {"talk", Container::Avi},             // no ending: AVI as ever
      {"dir.v2/talk", Container::Avi},      // a dot in a folder is no ending
      {"/home/u/.hidden", Container::Avi},  // nor one that starts the name
      {"talk.mkv", Container::Matroska},
      {"a.b/Talk.Mp4", Container::Mp4},
      {"talk.webm", std::nullopt},
      {"talk.mp4.part", std::nullopt},
      {"/home/u/.MP4", std::nullopt},  // an ending alone would be a hidden file with no name
      {".mkv", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ContainerOfName(c.path), c.kind) << c.path;
}

TEST(Containers, RefusalsSayWhatWorks) {
  const std::uint32_t h264 = FourCC('H', '2', '6', '4');
  const std::uint32_t mjpeg = FourCC('M', 'J', 'P', 'G');
  EXPECT_EQ(ContainerProblem("talk.mp4", h264, "H.264"), "");
  EXPECT_EQ(ContainerProblem("talk.mp4", FourCC('F', 'M', 'P', '4'), "MPEG-4"), "");
  EXPECT_EQ(ContainerProblem("talk.mkv", mjpeg, "Motion JPEG"), "");
  EXPECT_EQ(ContainerProblem("talk.avi", mjpeg, "Motion JPEG"), "");
  EXPECT_EQ(ContainerProblem("talk.mp4", mjpeg, "Motion JPEG"),
            "talk.mp4: MP4 files carry H.264 or MPEG-4 pictures, not Motion JPEG; choose one of "
            "those compressors, or name the file .mkv or .avi to keep Motion JPEG.");
  EXPECT_EQ(ContainerProblem("talk.webm", h264, "H.264"),
            "talk.webm: the ending .webm is not a kind of file a recording is saved as; name the "
            "file .avi (AVI), .mkv (Matroska) or .mp4 (MP4), or with no ending for AVI.");
  EXPECT_EQ(ContainerProblem("out/.mp4", h264, "H.264"),
            "out/.mp4: the name is an ending alone, which would make a hidden file with no name; "
            "give the file a name before its ending (recording.mp4).");
}

}  // namespace
}  // namespace orvenna
