#pragma once

// Helpers of the compressor tests: a shell that records dialogs, synthetic packed frames
// with a moving picture, and a libavcodec decoder that turns encoded frames back into
// colours.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Shell.h"

namespace orvenna::codec_test {

// A shell that records the dialogs it shows and answers ChooseItem from a script.
class RecordingShell final : public Shell {
 public:
  struct Choice {
    std::string caption;
    std::string prompt;
    std::vector<std::string> items;
    int current = 0;
    WindowHandle parent = nullptr;
  };
  struct Information {
    std::string caption;
    std::string text;
    WindowHandle parent = nullptr;
  };

  void PostToUiThread(std::function<void()> work) override { work(); }
  bool IsUiThread() const override { return true; }
  void ProcessEventsUntil(const std::function<bool()>&) override {}
  void MinimizeApplication() override {}
  void RestoreApplication() override {}
  void PushBusyCursor() override {}
  void PopCursor() override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowInformation(WindowHandle parent, const std::string& caption,
                       const std::string& text) override {
    informations.push_back({caption, text, parent});
  }
  int ChooseItem(WindowHandle parent, const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>& items, int current) override {
    choices.push_back({caption, prompt, items, current, parent});
    if (answers.empty()) return -1;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::string DocumentsFolder() override { return "/tmp"; }
  void OpenWithDefaultProgram(const std::string&, std::function<void()> failed) override {
    failed();
  }

  std::deque<int> answers;  // answers of ChooseItem in order; none left: cancel
  std::vector<Choice> choices;
  std::vector<Information> informations;
};

struct Rgb {
  int red = 0;
  int green = 0;
  int blue = 0;
  bool operator==(const Rgb&) const = default;
};

// The 3-3-2 colours that 8-bit synthetic frames index.
Rgb PaletteColour(int index);

// Synthetic packed frames of one size and depth: a gradient, a grid of thin lines and a
// square that moves with the frame number.
class SyntheticFrames {
 public:
  SyntheticFrames(int width, int height, int bitsPerPixel);

  // The header (and the colour table at 8 bits per pixel), as a stream format.
  const std::vector<std::uint8_t>& Format() const { return format_; }
  BitmapInfoHeader Header() const;
  // The pixel area of frame `n`.
  std::vector<std::uint8_t> Pixels(int n) const;
  // The colour of pixel (x, y), rows top-down, of frame `n` as the frame holds it, widened
  // to 8 bits per channel (5-bit channels repeat their top bits).
  Rgb Colour(int n, int x, int y) const;
  // Frame `n` as a grabbed screen holds it: top-down rows of blue, green, red and a spare
  // byte (set, to show that it is ignored).
  std::vector<std::uint8_t> ScreenPixels(int n) const;

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Bits() const { return bits_; }

 private:
  Rgb Picture(int n, int x, int y) const;  // the picture before it is cut to the depth

  int width_;
  int height_;
  int bits_;
  std::vector<std::uint8_t> format_;
};

// A decoded picture, rows top-down.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
  const Rgb& At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// A picture from top-down rows of red, green, blue bytes.
Picture PictureFromRgb24(int width, int height, const std::uint8_t* bytes);

// A stream format naming `fourcc` pictures of this size and depth, without extra data.
std::vector<std::uint8_t> CodedFormat(int width, int height, int bitCount, std::uint32_t fourcc);

// Decodes a stream with libavcodec, set up from the stream format the encoder handed out.
class StreamDecoder {
 public:
  // `format`: a bitmap information header plus extra data. Fails the test (and decodes
  // nothing) when libavcodec has no decoder for its four-character code.
  explicit StreamDecoder(const std::vector<std::uint8_t>& format);
  ~StreamDecoder();
  StreamDecoder(const StreamDecoder&) = delete;
  StreamDecoder& operator=(const StreamDecoder&) = delete;

  // Decodes every packet in order (then drains the decoder); one picture per packet
  // expected. Empty when decoding fails.
  std::vector<Picture> Decode(const std::vector<std::vector<std::uint8_t>>& packets);

 private:
  void Open(const std::vector<std::uint8_t>& format);

  struct State;
  std::unique_ptr<State> state_;
};

// Peak signal-to-noise ratio of `decoded` against frame `n` of `frames`, over all three
// channels, in dB (100 when equal).
double Psnr(const SyntheticFrames& frames, int n, const Picture& decoded);

// Pixels of `decoded` whose colour differs from frame `n`'s.
int DifferingPixels(const SyntheticFrames& frames, int n, const Picture& decoded);

}  // namespace orvenna::codec_test
