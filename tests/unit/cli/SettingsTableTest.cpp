// Every numeric setting of the settings table reaches orvenna-cli: its default, its help line
// and the ends of its range.
#include <gtest/gtest.h>

#include "cli/CliOptions.h"

namespace orvenna {
namespace {

std::optional<CliOptions> ParseValue(const NumericSetting& setting, int value, std::string& error) {
  return ParseCliOptions({std::string(setting.option), std::to_string(value), "a.avi"}, error);
}

TEST(SettingsTable, EverySettingReachesTheParserAndTheHelp) {
  const std::string usage = CliUsage();
  for (std::size_t i = 0; i < kNumericSettings.size(); ++i) {
    const NumericSetting& setting = kNumericSettings[i];
    const auto option = static_cast<NumericOption>(i);
    SCOPED_TRACE(std::string(setting.option));

    CliOptions defaults;
    EXPECT_EQ(ValueOf(defaults, option), setting.defaultValue);
    const std::string head =
        "  " + std::string(setting.option) + " " + std::string(setting.argument) + " ";
    const std::size_t line = usage.find(head);
    ASSERT_NE(line, std::string::npos);
    const std::string firstHelpLine(setting.help.substr(0, setting.help.find('\n')));
    EXPECT_NE(usage.find(firstHelpLine, line), std::string::npos);
    const std::string shownDefault = "(default " + std::to_string(setting.defaultValue) + ")";
    const std::string lineText = usage.substr(line, usage.find('\n', line) - line);
    EXPECT_EQ(lineText.find(shownDefault) != std::string::npos, setting.helpShowsDefault)
        << lineText;

    std::string error;
    for (const int end : {setting.range.low, setting.range.high}) {
      const auto accepted = ParseValue(setting, end, error);
      ASSERT_TRUE(accepted) << end << ": " << error;
      CliOptions parsed = *accepted;
      EXPECT_EQ(ValueOf(parsed, option), end);
    }
    for (const int beyond : {setting.range.low - 1, setting.range.high + 1}) {
      EXPECT_FALSE(ParseValue(setting, beyond, error)) << beyond;
      EXPECT_NE(error.find("from " + std::to_string(setting.range.low) + " to " +
                           std::to_string(setting.range.high)),
                std::string::npos)
          << error;
    }
    if (setting.step > 1) {
      EXPECT_FALSE(ParseValue(setting, setting.range.low + 1, error));
      EXPECT_EQ(error, std::string(setting.option) + " takes 8, 16, 24 or 32");
    }
    // What the options dialog's slider can be set to, the command line takes too.
    if (setting.sliderRange) {
      EXPECT_TRUE(setting.range.Holds(setting.sliderRange->low));
      EXPECT_TRUE(setting.range.Holds(setting.sliderRange->high));
    }
  }
}

// The front end's defaults are the settings the command line starts from, in its units.
TEST(SettingsTable, CommandLineDefaultsAreTheFrontEndsInTheUsersUnits) {
  const CliOptions defaults;
  EXPECT_EQ(defaults.quality * kQualityPerPercent, kFrontEndDefaults.compressionQuality);
  EXPECT_EQ(ColorsOfBitsPerPixel(defaults.bitsPerPixel), kFrontEndDefaults.colors);
  EXPECT_EQ(defaults.keyFrames, kFrontEndDefaults.keyFramesEvery);
  EXPECT_EQ(defaults.intervalMs, kFrontEndDefaults.mspfRecord);
  EXPECT_EQ(defaults.fps, kFrontEndDefaults.fpsPlayBack);
  for (int colors = 0; colors < 4; ++colors)
    EXPECT_EQ(ColorsOfBitsPerPixel(BitsPerPixelOfColors(colors)), colors);
}

}  // namespace
}  // namespace orvenna
