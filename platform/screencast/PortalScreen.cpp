#include "platform/screencast/PortalScreen.h"

#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/Log.h"
#include "platform/pipewire/PipeWireStream.h"
#include "platform/portal/ScreenCastSession.h"
#include "platform/screencast/KeptChoice.h"

namespace orvenna {

struct PortalScreen::Capture {
  std::unique_ptr<ScreenCastSession> session;
  pipewire::PipeWireStream stream;
  bool pointerInPicture = false;
};

namespace {

// How long a grab with no new picture waits for one: short against any record interval a
// recording uses, long enough that an unchanged screen costs next to nothing.
constexpr std::chrono::milliseconds kIdleWait{4};

// Reads regions of the newest picture of one capture. It holds the capture weakly: once the
// sharing stops, grabs fail instead of keeping the desktop's session alive. The desktop sends a
// picture only when the screen changes, while the recorder grabs as often as it can: a grab of
// the same area with no new picture since the last one, and nothing drawn on it since, hands out
// the pixels it already has.
class PortalGrabber final : public ScreenGrabber {
 public:
  explicit PortalGrabber(std::weak_ptr<PortalScreen::Capture> capture)
      : capture_(std::move(capture)) {}

  Result Grab(const Rect& area, RasterOp op, ImageView& image) override {
    const std::shared_ptr<PortalScreen::Capture> capture = capture_.lock();
    if (!capture) return Result::Failed("the screen is not shared (any more)");
    if (capture->stream.State() == pipewire::StreamState::Ended)
      return Result::Failed(capture->stream.EndReason(), FailureKind::Permanent);
    // Counted before the copy: a picture that comes during it is copied again next time.
    std::uint64_t count = capture->stream.FrameCount();
    const bool same = area == area_ && op == op_ && !touched_;
    if (same && count == count_) {
      // Nothing new: a short wait for the next picture keeps a recorder that grabs as often as
      // it can from spinning, and hands the picture out as soon as it comes.
      capture->stream.WaitForFrameAfter(count, kIdleWait);
      count = capture->stream.FrameCount();
    }
    read_ = !(same && count == count_);
    if (read_) {
      pixels_.resize(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
      area_ = area;
      op_ = op;
      count_ = 0;  // nothing valid kept should the read fail
      if (Result read = Copy(*capture, Rect{0, 0, area.width, area.height}); !read) return read;
      count_ = count;
      touched_ = false;
    }
    image = View();
    return Result::Ok();
  }
  void Touched(const Rect&) override { touched_ = true; }
  bool ReadAgain(const Rect&) const override { return read_; }
  Result Restore(const Rect& part) override {
    const std::shared_ptr<PortalScreen::Capture> capture = capture_.lock();
    if (!capture) return Result::Failed("the screen is not shared (any more)");
    const int left = std::max(part.left, 0), top = std::max(part.top, 0);
    const int right = std::min(part.left + part.width, area_.width);
    const int bottom = std::min(part.top + part.height, area_.height);
    if (right <= left || bottom <= top) return Result::Ok();
    return Copy(*capture, Rect{left, top, right - left, bottom - top});
  }

 private:
  ImageView View() {
    return ImageView{reinterpret_cast<std::uint8_t*>(pixels_.data()), area_.width, area_.height,
                     static_cast<std::ptrdiff_t>(area_.width) * 4};
  }
  // Copies `part` (relative to the grabbed area) of the newest picture into the kept pixels.
  Result Copy(const PortalScreen::Capture& capture, const Rect& part) {
    const ImageView whole = View();
    const ImageView target{whole.Row(part.top) + static_cast<std::ptrdiff_t>(part.left) * 4,
                           part.width, part.height, whole.stride};
    const Rect source{area_.left + part.left, area_.top + part.top, part.width, part.height};
    if (Result read = capture.stream.Read(source, target); !read) return read;
    if (op_ == RasterOp::NotSrcCopy) {
      for (int y = 0; y < target.height; ++y) {
        for (int x = 0; x < target.width; ++x) target.Pixel(x, y) ^= 0x00FFFFFFu;
      }
    }
    return Result::Ok();
  }

  std::weak_ptr<PortalScreen::Capture> capture_;
  std::vector<std::uint32_t> pixels_;
  Rect area_;
  RasterOp op_ = RasterOp::SrcCopy;
  std::uint64_t count_ = 0;  // the picture the kept pixels show; 0: none
  bool touched_ = false;
  bool read_ = true;
};

}  // namespace

PortalScreen::PortalScreen(Options options)
    : options_(std::move(options)),
      lastMonitorSize_(LoadKeptChoice(options_.keptChoicePath).monitorSize) {}

PortalScreen::~PortalScreen() = default;

std::shared_ptr<PortalScreen::Capture> PortalScreen::Current() const {
  std::lock_guard lock(mutex_);
  return capture_;
}

Size PortalScreen::ScreenSize() const {
  if (const auto capture = Current()) {
    const Size size = capture->stream.FrameSize();
    if (size.width > 0 && size.height > 0) return size;
  }
  std::lock_guard lock(mutex_);
  return lastMonitorSize_;
}

std::unique_ptr<ScreenGrabber> PortalScreen::NewGrabber() {
  return std::make_unique<PortalGrabber>(Current());
}

ShareOutcome PortalScreen::StartSession(SharedSource source, Capture& capture,
                                        std::string& problem) {
  ScreenCastRequest request;
  request.window = source == SharedSource::Window;
  request.chooserTimeout = options_.chooserTimeout;
  // A window is chosen afresh each time; a monitor is shared again as the user chose before.
  if (source == SharedSource::Monitor && !ChoosingAgain())
    request.restoreToken = LoadKeptChoice(options_.keptChoicePath).restoreToken;
  PortalAnswer answer = PortalAnswer::CallFailed;
  capture.session = ScreenCastSession::Start(request, answer, problem);
  if (!capture.session && !request.restoreToken.empty() && answer == PortalAnswer::Refused) {
    // The desktop refused the kept permission (revoked, or from another version): ask the user
    // once, and never again in this sharing.
    Log(LogLevel::Info, "portal", "the kept screen choice was refused: " + problem);
    request.restoreToken.clear();
    capture.session = ScreenCastSession::Start(request, answer, problem);
  }
  if (!capture.session) {
    if (answer == PortalAnswer::Cancelled) {
      problem = "the screen was not shared: the desktop's chooser was cancelled";
      return ShareOutcome::Cancelled;
    }
    if (answer == PortalAnswer::TimedOut)
      problem = "the screen was not shared: nothing was chosen in the desktop's chooser in time";
    return ShareOutcome::Failed;
  }
  capture.pointerInPicture = capture.session->PointerInPicture();
  return ShareOutcome::Shared;
}

ShareOutcome PortalScreen::Share(SharedSource source, std::string& problem) {
  StopSharing();
  auto capture = std::make_shared<Capture>();
  if (const ShareOutcome outcome = StartSession(source, *capture, problem);
      outcome != ShareOutcome::Shared)
    return outcome;
  const ScreenCastStreamInfo stream = capture->session->Streams().front();
  if (const Result connected =
          capture->stream.Connect(capture->session->TakePipeWireFd(), stream.node);
      !connected) {
    problem = "the desktop shared the screen, but its stream cannot be read: " + connected.Cause();
    return ShareOutcome::Failed;
  }
  if (!capture->stream.WaitForFirstFrame(options_.firstPictureTimeout)) {
    const std::string ended = capture->stream.EndReason();
    problem = "the desktop shared the screen, but " +
              (ended.empty()
                   ? "sent no picture within " +
                         std::to_string(options_.firstPictureTimeout.count() / 1000) + " seconds"
                   : ended);
    return ShareOutcome::Failed;
  }
  const Size size = capture->stream.FrameSize();
  if (source == SharedSource::Monitor) problem = KeepChoice(*capture->session, size);
  std::lock_guard lock(mutex_);
  capture_ = std::move(capture);
  if (source == SharedSource::Monitor) {
    lastMonitorSize_ = size;
    chooseAgain_ = false;
  }
  return ShareOutcome::Shared;
}

void PortalScreen::StopSharing() {
  std::shared_ptr<Capture> ending;
  {
    std::lock_guard lock(mutex_);
    ending = std::move(capture_);
  }
  // The session and its stream end here, outside the lock.
}

bool PortalScreen::Sharing() const {
  const auto capture = Current();
  return capture && capture->stream.State() != pipewire::StreamState::Ended;
}

void PortalScreen::ChooseAgain() {
  std::lock_guard lock(mutex_);
  chooseAgain_ = true;
}

bool PortalScreen::ChoosingAgain() const {
  std::lock_guard lock(mutex_);
  return chooseAgain_;
}

// The desktop's token for the monitor just chosen replaces the kept one. A choice that cannot
// be kept costs the user a chooser at every start: said once, with where it failed.
std::string PortalScreen::KeepChoice(const ScreenCastSession& session, Size size) {
  const std::string& token = session.RestoreToken();
  if (token.empty() || SaveKeptChoice(options_.keptChoicePath, KeptChoice{token, size})) return "";
  const std::string where = options_.keptChoicePath.empty() ? "no folder for it (HOME is not set)"
                                                            : options_.keptChoicePath;
  Log(LogLevel::Info, "portal", "the screen choice cannot be kept in " + where);
  std::lock_guard lock(mutex_);
  if (std::exchange(keepingFailSaid_, true)) return "";
  return "the screen choice cannot be kept (" + where +
         " cannot be written), so the desktop will ask which screen to share again next time";
}

bool PortalScreen::PointerInPicture() const {
  const auto capture = Current();
  return capture && capture->pointerInPicture;
}

bool PortalScreen::Pointer(CursorImage& image) const {
  const auto capture = Current();
  return capture && !capture->pointerInPicture && capture->stream.Cursor(image);
}

bool PortalCursor::Query(CursorImage& image) {
  return screen_.Pointer(image) && image.width > 0 && image.height > 0;
}

Point PortalCursor::Position() {
  CursorImage image;
  if (screen_.Pointer(image)) return image.position;
  const Size size = screen_.ScreenSize();
  return Point{size.width / 2, size.height / 2};
}

}  // namespace orvenna
