#include <gtest/gtest.h>

#include "engine/Utf16.h"
#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

FakeCompressorBehaviour Behaviour(int number,
                                  std::function<bool(const BitmapInfoHeader&)> accepts) {
  FakeCompressorBehaviour behaviour;
  behaviour.fcc =
      FourCC('T', static_cast<char>('A' + number / 26), static_cast<char>('A' + number % 26), '0');
  // Appended rather than joined with +: GCC 12 at -O3 warns falsely (-Wrestrict) on
  // "literal" + std::string.
  behaviour.name = "T";
  behaviour.name += std::to_string(number);
  behaviour.description = "Test compressor ";
  behaviour.description += std::to_string(number);
  behaviour.accepts = std::move(accepts);
  return behaviour;
}

const auto kAll = [](const BitmapInfoHeader&) { return true; };

TEST(Catalogue, ListsAcceptingCompressorsInOrderWithTheirDescriptions) {
  EngineRig rig;
  rig.codecs.Add(Behaviour(1, [](const BitmapInfoHeader& h) { return h.width % 2 == 0; }));
  rig.codecs.Add(Behaviour(2, [](const BitmapInfoHeader&) { return false; }));
  FakeCompressorBehaviour unopenable = Behaviour(3, kAll);
  unopenable.opens = false;
  rig.codecs.Add(unopenable);
  rig.codecs.Add(Behaviour(4, kAll));
  TVistrel& engine = rig.Make();
  EXPECT_EQ(
      engine.GetCompressorList(),
      (std::vector<std::string>{"Microsoft Video 1", "Test compressor 1", "Test compressor 4"}));
  EXPECT_EQ(engine.CompressorCount(), 3);
  const ICINFO& entry = engine.CompressorTable()[2];
  EXPECT_EQ(entry.dwSize, 568u);
  EXPECT_EQ(entry.fccType, ICTYPE_VIDEO);
  EXPECT_EQ(Utf16FieldToUtf8(entry.szName, 16), "T4");

  // An even-sizes-only compressor stays for a region 301 pixels wide, which a recording with it
  // rounds to 302.
  engine.SetScreenWidth(301);
  EXPECT_EQ(engine.GetCompressorList().size(), 3u);
  EXPECT_EQ(engine.CompressorFitOf(1).divisor, 2);
  EXPECT_EQ(engine.CompressorFitOf(1).size.width, 302);
  EXPECT_EQ(engine.CompressorFitOf(2).divisor, 1);
}

TEST(Catalogue, EmptyWhenNothingAcceptsTheFrames) {
  EngineRig rig;
  rig.codecs.Find(TVistrel::DefaultCompressorFcc)->accepts = [](const BitmapInfoHeader& h) {
    return h.bitCount != 32;
  };
  TVistrel& engine = rig.Make();
  EXPECT_TRUE(engine.GetCompressorList().empty());
  EXPECT_EQ(engine.CompressorCount(), 0);
  engine.SetColors(2);
  EXPECT_EQ(engine.GetCompressorList().size(), 1u);
}

TEST(Catalogue, OnlyTheFirstFiftyOneIndicesAreExamined) {
  EngineRig rig;
  for (int i = 0; i < 60; ++i) rig.codecs.Add(Behaviour(i, kAll));
  TVistrel& engine = rig.Make();
  EXPECT_EQ(engine.CompressorCount(), 51);
  EXPECT_EQ(engine.GetCompressorList().back(), "Test compressor 49");
}

TEST(Catalogue, DialogsOpenOnlyForEntriesOfTheCatalogue) {
  EngineRig rig;
  FakeCompressorBehaviour configurable = Behaviour(1, kAll);
  configurable.hasConfigure = true;
  rig.codecs.Add(configurable);
  TVistrel& engine = rig.Make();
  bool hasAbout = true;
  bool hasConfigure = true;
  engine.QueryCompressorDialogs(static_cast<std::uint8_t>(-1), hasAbout, hasConfigure);
  EXPECT_FALSE(hasAbout);
  EXPECT_FALSE(hasConfigure);
  engine.CompressorAbout(255, nullptr);
  engine.CompressorConfigure(255, nullptr);
  EXPECT_TRUE(rig.codecs.dialogs.empty());

  engine.QueryCompressorDialogs(0, hasAbout, hasConfigure);
  EXPECT_TRUE(hasAbout);
  EXPECT_FALSE(hasConfigure);
  engine.QueryCompressorDialogs(1, hasAbout, hasConfigure);
  EXPECT_TRUE(hasConfigure);
  engine.CompressorAbout(0, nullptr);
  engine.CompressorConfigure(1, nullptr);
  EXPECT_EQ(rig.codecs.dialogs, (std::vector<std::string>{"about MSVC", "configure T1"}));
}

}  // namespace
}  // namespace orvenna
