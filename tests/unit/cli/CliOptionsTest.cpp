#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/CliOptions.h"
#include "cli/CompressorChoice.h"
#include "cli/OutputCheck.h"

namespace orvenna {
namespace {

std::optional<CliOptions> Parse(std::vector<std::string> args, std::string* errorOut = nullptr) {
  std::string error;
  auto options = ParseCliOptions(args, error);
  if (errorOut) *errorOut = error;
  return options;
}

TEST(CliOptions, DefaultsMatchTheMainWindow) {
  const auto options = Parse({"out.avi"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->output, "out.avi");
  EXPECT_EQ(options->regionKind, CliOptions::RegionKind::FullScreen);
  EXPECT_EQ(options->quality, 75);
  EXPECT_EQ(options->keyFrames, 100);
  EXPECT_EQ(options->intervalMs, 33);
  EXPECT_EQ(options->fps, 30);
  EXPECT_EQ(options->bitsPerPixel, 24);
  EXPECT_EQ(options->seconds, 0);
  EXPECT_TRUE(options->cursor);
  EXPECT_FALSE(options->yes);
}

TEST(CliOptions, ReadsEveryOption) {
  const auto options = Parse({"--seconds",    "5",         "--region",   "-10,20,300,200",
                              "--compressor", "ZMBV",      "--quality",  "0",
                              "--keyframes",  "1",         "--interval", "40",
                              "--fps",        "25",        "--colors",   "8",
                              "--no-cursor",  "--inverse", "--yes",      "x.avi"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->seconds, 5);
  EXPECT_EQ(options->regionKind, CliOptions::RegionKind::Fixed);
  EXPECT_EQ(options->region, (Rect{-10, 20, 300, 200}));
  EXPECT_EQ(options->compressor, "ZMBV");
  EXPECT_EQ(options->quality, 0);
  EXPECT_EQ(options->keyFrames, 1);
  EXPECT_EQ(options->intervalMs, 40);
  EXPECT_EQ(options->fps, 25);
  EXPECT_EQ(options->bitsPerPixel, 8);
  EXPECT_FALSE(options->cursor);
  EXPECT_TRUE(options->inverse);
  EXPECT_TRUE(options->yes);

  const auto follow = Parse({"--follow-mouse", "640,480", "y.avi"});
  ASSERT_TRUE(follow);
  EXPECT_EQ(follow->regionKind, CliOptions::RegionKind::FollowMouse);
  EXPECT_EQ(follow->region.width, 640);
  EXPECT_EQ(follow->region.height, 480);
  EXPECT_EQ(Parse({"--list-compressors"})->action, CliOptions::Action::ListCompressors);
  const auto inputs = Parse({"--audio-input", "2", "--audio-volume", "40", "--list-audio-inputs"});
  ASSERT_TRUE(inputs);
  EXPECT_EQ(inputs->action, CliOptions::Action::ListAudioInputs);
  EXPECT_EQ(inputs->audioInput, 2);
  EXPECT_EQ(inputs->audioVolume, 40);
  EXPECT_EQ(follow->audioInput, -1);
  EXPECT_EQ(follow->audioVolume, -1);
  EXPECT_EQ(Parse({"--help"})->action, CliOptions::Action::Help);
  // The last region option wins; a picked region needs no numbers.
  EXPECT_EQ(Parse({"--region", "1,2,3,4", "--pick-region", "z.avi"})->regionKind,
            CliOptions::RegionKind::PickFreeHand);
  EXPECT_EQ(Parse({"--pick-region", "--pick-window", "z.avi"})->regionKind,
            CliOptions::RegionKind::PickWindow);
}

TEST(CliOptions, RefusesBadArgumentsWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"a.avi", "b.avi"},
      {"--seconds", "0", "a.avi"},
      {"--seconds", "5x", "a.avi"},
      {"--seconds"},
      {"--quality", "101", "a.avi"},
      {"--colors", "12", "a.avi"},
      {"--colors", "15", "a.avi"},
      {"--region", "1,2,3", "a.avi"},
      {"--region", "1,2,0,4", "a.avi"},
      {"--region", "1,2,3,4,5", "a.avi"},
      {"--follow-mouse", "10", "a.avi"},
      {"--interval", "0", "a.avi"},
      {"--fps", "-1", "a.avi"},
      {"--bogus", "a.avi"},
      {"--audio-input", "-1", "a.avi"},
      {"--audio-volume", "101", "a.avi"},
  };
  for (const auto& args : bad) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
  // A number beyond the limit is told the limit.
  std::string error;
  EXPECT_FALSE(Parse({"--region", "0,0,2147483647,2147483647", "a.avi"}, &error));
  EXPECT_NE(error.find("from -100000 to 100000"), std::string::npos) << error;
}

// Positions count every installed compressor; the engine's catalogue holds only those that
// take the region, so the two numberings differ as soon as one cannot.
TEST(CompressorChoice, PositionsAndCodesNameInstalledCompressors) {
  const auto entry = [](const char* code, const char* description, int catalogue) {
    return InstalledCompressor{FourCC(code[0], code[1], code[2], code[3]), code, description,
                               catalogue};
  };
  const std::vector<InstalledCompressor> installed = {
      entry("H264", "H.264", -1), entry("MSVC", "MS Video 1", -1), entry("ZMBV", "ZMBV", 0),
      entry("FMP4", "MPEG-4", 1), entry("DIB ", "Full Frames", 2)};
  const std::string region = "a 301 x 299 region at 24 bits per pixel";
  struct Case {
    std::string wanted;
    int catalogue;
    std::string errorPart;  // empty: no error
  };
  const Case cases[] = {
      {"", 0, ""},  // the first that takes the region
      {"2", 0, ""},
      {"3", 1, ""},
      {"FMP4", 1, ""},
      {"1", -1, "the compressor MSVC (MS Video 1) cannot take a 301 x 299 region"},
      {"MSVC", -1, "the compressor MSVC (MS Video 1) cannot take"},
      {"0", -1, "H264 (H.264) cannot take"},
      {"5", -1, "there is no compressor 5 (positions are 0 to 4"},
      {"QQQQ", -1, "no compressor 'QQQQ' is installed"},
      {"zmbv", 0, ""},  // codes in any case, without the spaces that fill them to four
      {"DIB", 2, ""},
      {"dib ", 2, ""},
      {"DI", -1, "no compressor 'DI' is installed"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ChooseCompressor(installed, c.wanted, Container::Avi, region, error), c.catalogue)
        << c.wanted;
    if (c.errorPart.empty()) {
      EXPECT_EQ(error, "") << c.wanted;
    } else {
      EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.wanted << ": " << error;
    }
  }
  // Without a choice an MP4 file takes the first that it carries and that takes the region; when
  // it carries none of them, the first that takes the region (which it then refuses by name).
  std::string error;
  EXPECT_EQ(ChooseCompressor(installed, "", Container::Mp4, region, error), 1);
  EXPECT_EQ(ChooseCompressor({installed[2], installed[4]}, "", Container::Mp4, region, error), 0);
  // Nothing takes the region: without a choice the engine's default is left to offer itself.
  EXPECT_EQ(ChooseCompressor({installed[1]}, "", Container::Avi, region, error), -1);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ChooseCompressor({}, "0", std::nullopt, region, error), -1);
  EXPECT_NE(error.find("no compressor is installed"), std::string::npos) << error;
}

TEST(OutputCheck, AnExistingOutputNeedsYesAndAFolderIsNeverReplaced) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("output-check-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "folder");
  std::ofstream(root / "file.avi") << "x";
  fs::create_symlink(root / "nowhere", root / "dangling.avi");
  struct Case {
    std::string name;
    bool yes;
    std::string problemPart;  // empty: no problem
  };
  const Case cases[] = {
      {"new.avi", false, ""},
      {"file.avi", false, "file.avi exists; give --yes to replace it"},
      {"file.avi", true, ""},
      {"dangling.avi", false, "exists"},  // a link is something standing there
      {"folder", true, "is a folder"},
  };
  for (const Case& c : cases) {
    const std::string problem = ExistingOutputProblem((root / c.name).string(), c.yes);
    if (c.problemPart.empty()) {
      EXPECT_EQ(problem, "") << c.name;
    } else {
      EXPECT_NE(problem.find(c.problemPart), std::string::npos) << c.name << ": " << problem;
    }
  }
  fs::remove_all(root);
}

}  // namespace
}  // namespace orvenna
