#include <algorithm>

#include "engine/RegionFit.h"
#include "engine/Vistrel.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kFrameColour = 255;  // pure red
constexpr int kLargestRecordingPreviewWidth = 800;
constexpr int kLargestRecordingPreviewHeight = 600;

}  // namespace

void TVistrel::AreaTimerTick() {
  CheckUiThread("AreaTimerTick");
  ProcessState& process = Process();
  const bool recording = Recording();

  // 1. Mode flags.
  if (!recording) {
    DeriveModeFlags();
  } else if (ScreenRegion() == TScreenRegion::SelObject ||
             ScreenRegion() == TScreenRegion::FreeHand) {
    SetScreenRegion(TScreenRegion::FixedStable);
    pickObjectMode_ = pickFreeHandMode_ = followMouseMode_ = fullScreenMode_ = false;
  }

  // 2. Nothing to show.
  if (!process.PendingStart && !ShowPreview() && (!recording || fullScreenMode_)) {
    frameWindow_->Hide();
    if (OnPreview) OnPreview(*this, nullptr, false, recording);
    return;
  }

  // 3. Region update.
  if (fullScreenMode_) {
    SetRegionToFullScreen();
  } else if (pickFreeHandMode_ || pickObjectMode_) {
    areaTimer_->SetEnabled(false);
    const bool picked = pickFreeHandMode_ ? SelectFreeHandArea() : SelectObjectArea();
    if (!picked) return;
    areaTimer_->SetEnabled(true);
  } else if (followMouseMode_) {
    FollowMouse();
  }

  // 4. Frame window.
  const bool previewing = ShowPreview();
  const Rect region = Region();
  if (DrawAreaCapture()) {
    const std::string caption = previewing && !Recording()
                                    ? "Preview... Cancel: Esc"
                                    : "Recording... Cancel: Esc -- Stop: Shift+Esc";
    frameWindow_->PlaceFrame(region.left, region.top, region.width, region.height, LineRectClear(),
                             caption);
    frameWindow_->PaintFrame(kFrameColour, caption);
    frameWindow_->ShowOnTop();
  } else {
    frameWindow_->Hide();
  }

  // 5. Preview.
  if (!OnPreview) return;
  const bool nowRecording = Recording();
  const bool small = region.width <= kLargestRecordingPreviewWidth &&
                     region.height <= kLargestRecordingPreviewHeight;
  if (previewing && (!nowRecording || small)) {
    const PreviewBitmap& bitmap =
        GrabFrameBitmap(region.left, region.top, region.width, region.height, FilterColor());
    OnPreview(*this, &bitmap, true, nowRecording);
  } else {
    OnPreview(*this, nullptr, false, nowRecording);
  }
}

// Centres the region on the mouse, kept inside the screen; left and top change together.
void TVistrel::FollowMouse() {
  const Point mouse = platform_.cursor.Position();
  const Size screen = platform_.screen.ScreenSize();
  region_.Update([&](Rect& region) {
    int left = mouse.x - region.width / 2;
    int top = mouse.y - region.height / 2;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    // The right and bottom edges come last: a region wider than the screen ends up with a
    // negative left, so its right edge stays on the screen's.
    if (left + region.width > screen.width) left = screen.width - region.width;
    if (top + region.height > screen.height) top = screen.height - region.height;
    region.left = left;
    region.top = top;
  });
}

// Runs a picker modally; on OK its rectangle becomes the fixed region and a start that was
// waiting for it proceeds.
bool TVistrel::RunPicker(std::unique_ptr<RegionPicker> picker, RegionPicker*& openSlot,
                         bool topmost) {
  if (!picker) return false;  // no picker on this desktop: like a cancelled pick
  if (topmost) picker->MakeTopmost();
  openSlot = picker.get();
  UpdateHotKeys();
  const ModalResult result = picker->ShowModal();
  openSlot = nullptr;
  // A picker that closed by itself (Esc pressed in it, the desktop's chooser cancelled) ends
  // the pick as the Esc key does; after the key itself there is nothing left to end.
  if (result != ModalResult::Ok && (Process().PendingStart || ShowPreview()))
    CancelLikeEsc(RestoreAppOnStop());
  UpdateHotKeys();
  if (result != ModalResult::Ok) return false;
  // A picked window may reach beyond the screen: only the part on the screen can be
  // grabbed. A pick with nothing on the screen (no window was found yet, or the window lies
  // wholly outside) is refused like a cancelled one rather than recorded as an empty region.
  const Rect picked = OnScreen(picker->Selection(), platform_.screen.ScreenSize());
  if (picked.width <= 0 || picked.height <= 0) {
    Process().PendingStart = false;
    RaiseError(
        "The picked region has no part on the screen, so nothing is recorded. Start "
        "again and pick a window or an area that is on the screen.");
    return false;
  }
  region_.Set(picked);
  SetScreenRegion(TScreenRegion::FixedStable);
  StartPendingRecording();
  return true;
}

bool TVistrel::SelectFreeHandArea() {
  return RunPicker(platform_.ui.NewFreeHandPicker(), freeHandWindow_, true);
}

bool TVistrel::SelectObjectArea() {
  return RunPicker(platform_.ui.NewObjectPicker(), objectPicker_, false);
}

void TVistrel::StartPendingRecording() {
  ProcessState& process = Process();
  if (!process.PendingStart) return;
  process.PendingStart = false;
  if (!process.TargetFileName.empty()) StartRecording(process.TargetFileName);
}

}  // namespace orvenna
