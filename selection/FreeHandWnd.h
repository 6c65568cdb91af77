#pragma once

#include <QImage>
#include <QWidget>

#include "platform/Windows.h"
#include "selection/FreeHandState.h"
#include "selection/PickerDesktop.h"

namespace orvenna {

// The free-hand region window: a borderless window over the whole X screen (every monitor), or
// full-screen on a Wayland desktop's monitor, that shows a still image of the screen taken when
// it opens, so that nothing moves under the selection. A left press and drag draws the rectangle
// between four red guide lines, a tooltip by the cursor gives its position, the rectangle's size
// and the keys, and Ctrl + left click confirms the rectangle (ShowModal answers Ok). The engine's
// Esc hot key closes it with Cancel, and so does Esc pressed in it where the desktop gives it the
// keys. Positions are the still image's pixels (the screen's device pixels at any scaling of the
// desktop), as the lines are. UI thread only.
class TFreeHandWindow final : public QWidget, public RegionPicker {
 public:
  explicit TFreeHandWindow(const PickerDesktop& desktop);
  // Withdraws the tooltip.
  ~TFreeHandWindow() override;

  // RegionPicker.
  void MakeTopmost() override;
  // Takes the still image, covers the screen and serves the desktop's events until closed.
  ModalResult ShowModal() override;
  void Close(ModalResult result) override;
  void StopTimer() override {}
  // SelLeft, SelTop, SelWidth, SelHeight.
  Rect Selection() const override { return state_.Selection(); }

  const FreeHandState& State() const { return state_; }
  const QImage& Snapshot() const { return snapshot_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormShow();
  // Pixels of the still image per logical pixel of the window.
  double PictureRatio() const;
  // The cursor's position in the still image at a mouse event.
  Point CursorAt(const QMouseEvent* event) const;
  void WaitForMinimisedWindows();
  // Repaints where guide lines were or are now.
  void RepaintLines(const std::array<GuideLine, 4>& before);
  // A line's pixels in the still image.
  QRect LineRect(int index, const GuideLine& line) const;

  PickerDesktop desktop_;
  QImage snapshot_;
  FreeHandState state_;
  ModalResult result_ = ModalResult::None;
};

}  // namespace orvenna
