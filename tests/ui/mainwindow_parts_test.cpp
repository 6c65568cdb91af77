// The desktop application's parts that need no display: number conversion, the digit
// filter, the preview picture's conversion and the JPEG decoder.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include "engine/PreviewBitmap.h"
#include "ui/DigitFilter.h"
#include "ui/IntegerText.h"
#include "ui/JpegImage.h"
#include "ui/PreviewImage.h"

namespace orvenna {
namespace {

TEST(StrToInt, ReadsDecimalIntegersAndRejectsTheRest) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("1920"), 1920);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("-12"), -12);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  for (const char* bad : {"", "12abc", "abc", "1.5", "2147483648", "99999999999", "0x10"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const EConvertError& error) {
      EXPECT_EQ(std::string(error.what()),
                "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
}

TEST(DigitFilter, PassesDigitsBackspaceAndShortcutsOnly) {
  for (char16_t c = u'0'; c <= u'9'; ++c) EXPECT_TRUE(DigitFilter::Passes(QChar(c)));
  EXPECT_TRUE(DigitFilter::Passes(QChar(8)));     // backspace
  EXPECT_TRUE(DigitFilter::Passes(QChar(0x16)));  // Ctrl+V
  for (char16_t c : {u'a', u'Z', u'-', u'+', u' ', u'.', u'\u0663' /* Arabic-Indic three */}) {
    EXPECT_FALSE(DigitFilter::Passes(QChar(c))) << static_cast<int>(c);
  }
}

// A preview bitmap of 2 x 2 pixels whose rows are stored bottom row first.
PreviewBitmap TwoByTwo(int bitsPerPixel) {
  PreviewBitmap bitmap;
  bitmap.SetBitsPerPixel(bitsPerPixel);
  bitmap.SetSize(2, 2);
  return bitmap;
}

std::uint8_t* Row(PreviewBitmap& bitmap, int rowFromTop) {
  return bitmap.Pixels() + (bitmap.Height() - 1 - rowFromTop) * bitmap.RowBytes();
}

TEST(PreviewToImage, TurnsEveryDepthIntoATopDownPicture) {
  const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);

  PreviewBitmap b32 = TwoByTwo(32);
  const std::uint8_t red32[4] = {0, 0, 255, 0}, blue32[4] = {255, 0, 0, 0};
  std::memcpy(Row(b32, 0), red32, 4);
  std::memcpy(Row(b32, 1) + 4, blue32, 4);
  QImage image = PreviewToImage(b32);
  ASSERT_EQ(image.size(), QSize(2, 2));
  EXPECT_EQ(image.pixel(0, 0), red);
  EXPECT_EQ(image.pixel(1, 1), blue);

  PreviewBitmap b24 = TwoByTwo(24);
  std::memcpy(Row(b24, 0), red32, 3);
  std::memcpy(Row(b24, 1) + 3, blue32, 3);
  image = PreviewToImage(b24);
  EXPECT_EQ(image.pixel(0, 0), red);
  EXPECT_EQ(image.pixel(1, 1), blue);

  PreviewBitmap b16 = TwoByTwo(16);
  const std::uint16_t red555 = 0x1F << 10, blue555 = 0x1F;
  std::memcpy(Row(b16, 0), &red555, 2);
  std::memcpy(Row(b16, 1) + 2, &blue555, 2);
  image = PreviewToImage(b16);
  EXPECT_EQ(image.pixel(0, 0), red);
  EXPECT_EQ(image.pixel(1, 1), blue);

  PreviewBitmap b8 = TwoByTwo(8);
  Row(b8, 0)[0] = 7;
  Row(b8, 1)[1] = 200;
  image = PreviewToImage(b8);
  const auto tableColour = [&](int index) {
    const RgbQuad& entry = b8.ColourTable()[index];
    return qRgb(entry.red, entry.green, entry.blue);
  };
  EXPECT_EQ(image.pixel(0, 0), tableColour(7));
  EXPECT_EQ(image.pixel(1, 1), tableColour(200));
  EXPECT_NE(tableColour(7), tableColour(200));
}

TEST(PreviewToImage, AnEmptyBitmapGivesNoPicture) {
  PreviewBitmap empty;
  empty.SetBitsPerPixel(32);
  empty.SetSize(0, 0);
  EXPECT_TRUE(PreviewToImage(empty).isNull());
}

QByteArray AboutPicture() {
  QFile file(":/orvenna/about.jpg");
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll();
}

TEST(DecodeJpeg, DecodesTheAboutPicture) {
  const QImage image = DecodeJpeg(AboutPicture());
  ASSERT_EQ(image.size(), QSize(178, 164));
  // The recording mark's red centre.
  const QRgb centre = image.pixel(89, 62);
  EXPECT_GT(qRed(centre), 200);
  EXPECT_LT(qGreen(centre), 100);
  EXPECT_LT(qBlue(centre), 100);
}

TEST(DecodeJpeg, DataItCannotReadGivesANullImage) {
  EXPECT_TRUE(DecodeJpeg({}).isNull());
  EXPECT_TRUE(DecodeJpeg("not a jpeg at all").isNull());
  QByteArray damaged = AboutPicture();
  damaged[0] = '\x00';  // no start-of-image marker
  EXPECT_TRUE(DecodeJpeg(damaged).isNull());
  // Cut short inside the picture: libjpeg fills the rest, and nothing crashes.
  const QByteArray cut = AboutPicture().left(2000);
  const QImage partial = DecodeJpeg(cut);
  EXPECT_TRUE(partial.isNull() || partial.size() == QSize(178, 164));
}

}  // namespace
}  // namespace orvenna
