#pragma once

#include <QRect>
#include <QRegion>
#include <QString>
#include <QWidget>
#include <optional>

#include "platform/Windows.h"

namespace orvenna {

// The thin red frame laid around the capture area, with a red caption label above its
// top-left corner. A borderless, always-on-top window that never takes the focus, shaped so
// that only the frame line and the label cover the screen: everything inside the frame stays
// visible and receives the mouse. Created hidden at (0, 16), 300 x 300. The frame's place
// and line are screen (device) pixels at any scaling of the desktop.
// UI thread only (create, use and destroy it there).
class TFlashingWnd final : public QWidget, public FrameWindow {
 public:
  enum class Mouse {
    StopsAtLine,    // the frame line and the caption take the clicks that land on them
    PassesThrough,  // every click reaches the window underneath, and no lookup of the window
                    // under a point finds this one
  };

  explicit TFlashingWnd(Mouse mouse = Mouse::StopsAtLine);

  void PlaceFrame(int left, int top, int width, int height, bool cornersOnly,
                  const std::string& caption) override;
  // Always paints in pure red, whatever `colour` says.
  void PaintFrame(std::uint32_t colour, const std::string& caption) override;
  void ShowOnTop() override;
  void Hide() override;
  bool IsShowing() const override;
  void Restore() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The window's place and shape last given by PlaceFrame, device pixels; none before.
  std::optional<QRect> placedWindow_;
  std::optional<QRegion> placedShape_;
  QRect paintRect_;    // set by PlaceFrame: the frame line's part of the window, device pixels
  QString caption_;    // set by PaintFrame
  QRect paintedRect_;  // paintRect_ when PaintFrame last asked for painting
  bool painted_ = false;
};

}  // namespace orvenna
