#include "platform/x11/X11Grabber.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/x11/ChangedRows.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ScreenChanges.h"
#include "platform/x11/X11SharedImage.h"

namespace orvenna {
namespace {

constexpr int kPixelBytes = 4;
constexpr const char* kLost = "the connection to the X display was lost";
// X coordinates and sizes are 16-bit: no screen is larger than this.
constexpr int kLargestSide = 32767;

// The part of `area` on the screen `screen`; width or height 0 when none.
Rect Intersect(const Rect& area, const Rect& screen) {
  const std::int64_t left = std::max<std::int64_t>(area.left, screen.left);
  const std::int64_t top = std::max<std::int64_t>(area.top, screen.top);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{area.left} + area.width,
                                                    std::int64_t{screen.left} + screen.width);
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{area.top} + area.height,
                                                     std::int64_t{screen.top} + screen.height);
  if (right <= left || bottom <= top) return Rect{area.left, area.top, 0, 0};
  return Rect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
              static_cast<int>(bottom - top)};
}

// `inside` (within `area`, in screen coordinates) relative to the top-left corner of `area`.
Rect Relative(const Rect& inside, const Rect& area) {
  return Rect{inside.left - area.left, inside.top - area.top, inside.width, inside.height};
}

// Blackens everything outside `part` in pixels laid out as `area`.
void ClearOutside(std::uint8_t* pixels, std::ptrdiff_t stride, const Rect& area, const Rect& part) {
  const std::size_t leftBytes = static_cast<std::size_t>(part.left) * kPixelBytes;
  const std::size_t rightStart = static_cast<std::size_t>(part.left + part.width) * kPixelBytes;
  for (int y = 0; y < area.height; ++y) {
    std::uint8_t* row = pixels + stride * y;
    if (y < part.top || y >= part.top + part.height) {
      std::memset(row, 0, static_cast<std::size_t>(stride));
      continue;
    }
    std::memset(row, 0, leftBytes);
    std::memset(row + rightStart, 0, static_cast<std::size_t>(stride) - rightStart);
  }
}

// Inverts blue, green and red of every pixel of `part`; the spare byte keeps its value.
void InvertColours(std::uint8_t* pixels, std::ptrdiff_t stride, const Rect& part) {
  for (int y = part.top; y < part.top + part.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(pixels + stride * y) + part.left;
    for (int x = 0; x < part.width; ++x) row[x] ^= 0x00FFFFFFu;
  }
}

}  // namespace

X11Grabber::X11Grabber(const std::string& displayName)
    : connection_(X11Connection::Open(displayName, error_)) {
  if (connection_ == nullptr) return;
  error_ = PixelFormatError(*connection_);
  if (!error_.empty()) return;
  Display* display = connection_->display();
  const int screen = DefaultScreen(display);
  screen_ = Rect{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
  if (X11SharedImage::Available(*connection_)) {
    shared_ = std::make_unique<X11SharedImage>(*connection_);
    changes_ = X11ScreenChanges::Start(*connection_);
  }
}

X11Grabber::~X11Grabber() = default;

// A read the server refused (a window unmapped meanwhile, a size changing under the read) may
// well succeed on the next try; a lost connection never will.
Result X11Grabber::ReadFailure(const char* request) const {
  if (connection_->Broken()) return Result::Failed(kLost);
  return Result::Failed(request, FailureKind::Temporary);
}

Result X11Grabber::Grab(const Rect& area, RasterOp op, ImageView& image) {
  if (!error_.empty()) return Result::Failed(error_);
  if (connection_->Broken()) return Result::Failed(kLost);
  if (area.width > kLargestSide || area.height > kLargestSide) {
    return Result::Failed("the region is larger than " + std::to_string(kLargestSide) +
                          " pixels on a side");
  }
  const Rect wanted{area.left, area.top, std::max(0, area.width), std::max(0, area.height)};
  const std::ptrdiff_t stride = std::ptrdiff_t{wanted.width} * kPixelBytes;
  const auto bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(wanted.height);
  if (bytes == 0) {
    image = ImageView{nullptr, wanted.width, wanted.height, stride};
    return Result::Ok();
  }

  // Without a segment (the server cannot attach one), grabs go on with XGetImage.
  const std::uint8_t* before = shared_ != nullptr ? shared_->data() : nullptr;
  if (shared_ != nullptr && !shared_->Reserve(bytes)) {
    changes_.reset();
    shared_.reset();
  }
  if (shared_ == nullptr && buffer_.size() < bytes) buffer_.resize(bytes);
  std::uint8_t* pixels = shared_ != nullptr ? shared_->data() : buffer_.data();

  const Rect inside = Intersect(wanted, screen_);
  if (changes_ != nullptr && inside == wanted) {
    if (!ReadChanges(wanted, op, pixels != before)) {
      return ReadFailure("XShmGetImage failed");
    }
    image = ImageView{pixels, wanted.width, wanted.height, stride};
    return Result::Ok();
  }
  kept_ = false;
  readWhole_ = true;
  if (inside.width == 0 || inside.height == 0) {
    std::memset(pixels, 0, bytes);
  } else {
    const bool read =
        shared_ != nullptr ? ReadShared(wanted, inside, pixels) : ReadPlain(wanted, inside, pixels);
    if (!read) return ReadFailure(shared_ != nullptr ? "XShmGetImage failed" : "XGetImage failed");
    if (op == RasterOp::NotSrcCopy) InvertColours(pixels, stride, Relative(inside, wanted));
  }
  image = ImageView{pixels, wanted.width, wanted.height, stride};
  return Result::Ok();
}

bool X11Grabber::ReadChanges(const Rect& area, RasterOp op, bool segmentReplaced) {
  // The changes are taken first, so that the reads below see everything they name.
  const bool listed = changes_->Take(changed_);
  // Taking them may send no request at all; it notices a lost server all the same.
  if (connection_->Broken()) return false;
  // Once a second the area is read whole all the same: drawing that some server or driver
  // fails to report (direct rendering, say) then shows within a second.
  const auto now = std::chrono::steady_clock::now();
  const bool whole = !listed || !kept_ || segmentReplaced || keptArea_ != area || keptOp_ != op ||
                     now - lastWholeRead_ >= std::chrono::seconds(1);
  if (whole) lastWholeRead_ = now;
  read_ =
      whole ? std::vector<RowSpan>{RowSpan{0, area.height}} : ChangedRows(changed_, touched_, area);
  readWhole_ = whole;
  kept_ = false;
  touched_.clear();
  for (const RowSpan& span : read_) {
    if (!ReadKeptRows(area, op, span)) return false;
  }
  kept_ = true;
  keptArea_ = area;
  keptOp_ = op;
  return true;
}

bool X11Grabber::ReadKeptRows(const Rect& area, RasterOp op, const RowSpan& span) {
  if (!shared_->ReadRows(area, span.first, span.count)) return false;
  if (op == RasterOp::NotSrcCopy) {
    InvertColours(shared_->data(), std::ptrdiff_t{area.width} * kPixelBytes,
                  Rect{0, span.first, area.width, span.count});
  }
  return true;
}

bool X11Grabber::ReadAgain(const Rect& part) const {
  if (readWhole_ || !kept_) return true;
  return std::any_of(read_.begin(), read_.end(), [&](const RowSpan& span) {
    return span.first < part.top + part.height && part.top < span.first + span.count;
  });
}

Result X11Grabber::Restore(const Rect& part) {
  if (readWhole_ || !kept_) return Result::Ok();
  // The rows of `part` on the area less those the grab read, whose spans run top down.
  const int end = std::min(part.top + part.height, keptArea_.height);
  int row = std::max(part.top, 0);
  auto readUpTo = [&](int gapEnd) {
    if (gapEnd > row && !ReadKeptRows(keptArea_, keptOp_, RowSpan{row, gapEnd - row})) {
      kept_ = false;
      return false;
    }
    return true;
  };
  for (const RowSpan& span : read_) {
    if (row >= end) break;
    if (!readUpTo(std::min(span.first, end))) return ReadFailure("XShmGetImage failed");
    row = std::max(row, span.first + span.count);
  }
  if (row < end && !readUpTo(end)) return ReadFailure("XShmGetImage failed");
  return Result::Ok();
}

void X11Grabber::Touched(const Rect& part) {
  if (kept_) touched_.push_back(part);
}

bool X11Grabber::ReadShared(const Rect& area, const Rect& inside, std::uint8_t* pixels) {
  if (!shared_->ReadRows(inside, 0, inside.height)) return false;
  if (inside == area) return true;
  // The server wrote the rows of `inside` packed at the start. Spread them to their places in
  // `area`, last row first: every row moves to a higher address than any row not yet moved.
  const Rect part = Relative(inside, area);
  const std::ptrdiff_t stride = std::ptrdiff_t{area.width} * kPixelBytes;
  const std::size_t rowBytes = static_cast<std::size_t>(inside.width) * kPixelBytes;
  for (int y = inside.height - 1; y >= 0; --y) {
    std::memmove(pixels + stride * (part.top + y) + std::ptrdiff_t{part.left} * kPixelBytes,
                 pixels + static_cast<std::ptrdiff_t>(rowBytes) * y, rowBytes);
  }
  ClearOutside(pixels, stride, area, part);
  return true;
}

bool X11Grabber::ReadPlain(const Rect& area, const Rect& inside, std::uint8_t* pixels) {
  XImage* read = XGetImage(connection_->display(), connection_->root(), inside.left, inside.top,
                           static_cast<unsigned>(inside.width),
                           static_cast<unsigned>(inside.height), AllPlanes, ZPixmap);
  if (read == nullptr) {
    connection_->Sync();  // clears the recorded error
    return false;
  }
  const Rect part = Relative(inside, area);
  const std::ptrdiff_t stride = std::ptrdiff_t{area.width} * kPixelBytes;
  const std::size_t rowBytes = static_cast<std::size_t>(inside.width) * kPixelBytes;
  for (int y = 0; y < inside.height; ++y) {
    std::memcpy(pixels + stride * (part.top + y) + std::ptrdiff_t{part.left} * kPixelBytes,
                read->data + std::ptrdiff_t{read->bytes_per_line} * y, rowBytes);
  }
  XDestroyImage(read);
  ClearOutside(pixels, stride, area, part);
  return true;
}

std::string X11Grabber::PixelFormatError(X11Connection& connection) {
  Display* display = connection.display();
  const int screen = DefaultScreen(display);
  const int depth = DefaultDepth(display, screen);
  const Visual* visual = DefaultVisual(display, screen);
  int bitsPerPixel = 0;
  int count = 0;
  if (XPixmapFormatValues* formats = XListPixmapFormats(display, &count)) {
    for (int i = 0; i < count; ++i) {
      if (formats[i].depth == depth) bitsPerPixel = formats[i].bits_per_pixel;
    }
    XFree(formats);
  }
  const bool littleEndian = ImageByteOrder(display) == LSBFirst;
  if (visual->c_class == TrueColor && depth == 24 && bitsPerPixel == 32 && littleEndian &&
      visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 &&
      visual->blue_mask == 0x0000FF) {
    return {};
  }
  char masks[96];
  std::snprintf(masks, sizeof masks, "red 0x%lX, green 0x%lX, blue 0x%lX", visual->red_mask,
                visual->green_mask, visual->blue_mask);
  return "X11: the screen of display '" + connection.name() + "' has " + std::to_string(depth) +
         "-bit colour in " + std::to_string(bitsPerPixel) + "-bit pixels (" + masks + ", " +
         (littleEndian ? "little" : "big") +
         "-endian); screen grabs need 24-bit true colour in 32-bit little-endian pixels. Run "
         "the X server at depth 24 (for example Xvfb -screen 0 1920x1080x24).";
}

}  // namespace orvenna
