#include "selection/FreeHandWnd.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/qt/DevicePixels.h"
#include "selection/PickerInput.h"

namespace orvenna {
namespace {

const QColor kLineColour(255, 0, 0);

// The still image of the whole screen; black where the screen cannot be read.
QImage TakeSnapshot(Screen& screen, Size size) {
  QImage image(size.width, size.height, QImage::Format_RGB32);
  image.fill(Qt::black);
  std::unique_ptr<ScreenGrabber> grabber = screen.NewGrabber();
  ImageView view;
  if (!grabber || !grabber->Grab(Rect{0, 0, size.width, size.height}, RasterOp::SrcCopy, view)) {
    return image;
  }
  // Grabs are blue, green, red and a spare byte, as Format_RGB32 keeps them in memory, but
  // the spare byte must be opaque there.
  for (int y = 0; y < size.height && y < view.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
    const int width = std::min(size.width, view.width);
    std::memcpy(row, view.Row(y), static_cast<std::size_t>(width) * 4);
    for (int x = 0; x < width; ++x) row[x] |= 0xFF000000u;
  }
  return image;
}

}  // namespace

TFreeHandWindow::TFreeHandWindow(const PickerDesktop& desktop)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), desktop_(desktop) {
  if (PlacesOwnWindows()) {
    // The window manager stays out, so the window covers every monitor and every panel
    // exactly. It needs no keys (Esc is the engine's hot key) and leaves the focus where it is.
    setWindowFlags(windowFlags() | Qt::Tool | Qt::WindowDoesNotAcceptFocus |
                   Qt::X11BypassWindowManagerHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
  }
  setObjectName(QStringLiteral("FreeHandWindow"));
  setWindowTitle(QStringLiteral("Orvenna free-hand region"));
  setGeometry(0, 0, 290, 200);
  // The still image covers every pixel: nothing is erased first, so nothing flashes.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
}

TFreeHandWindow::~TFreeHandWindow() {
  QToolTip::hideText();
}

void TFreeHandWindow::MakeTopmost() {
  raise();
}

void TFreeHandWindow::FormShow() {
  WaitForMinimisedWindows();
  const Size screen = desktop_.screen.ScreenSize();
  if (PlacesOwnWindows()) PlaceInDevicePixels(*this, QRect(0, 0, screen.width, screen.height));
  snapshot_ = TakeSnapshot(desktop_.screen, screen);
  state_.Reset();
}

// The application minimises itself when a recording starts, just before the pick: the still
// image must not catch its windows on their way off the screen. Waits until they are gone (half
// a second at most), then half a second more for the window manager, which may still be
// drawing the frame's way to the task bar.
void TFreeHandWindow::WaitForMinimisedWindows() {
  const auto leaving = [] {
    for (const QWidget* window : QApplication::topLevelWidgets()) {
      const QWindow* handle = window->windowHandle();
      if (window->isMinimized() && handle != nullptr && handle->isExposed()) return true;
    }
    return false;
  };
  if (!leaving()) return;
  QDeadlineTimer gone(500);
  desktop_.shell.ProcessEventsUntil([&] { return !leaving() || gone.hasExpired(); });
  QDeadlineTimer settled(500);
  desktop_.shell.ProcessEventsUntil([&] { return settled.hasExpired(); });
}

ModalResult TFreeHandWindow::ShowModal() {
  result_ = ModalResult::None;
  const PickerInputOnly modal(this);
  FormShow();
  if (result_ != ModalResult::None) return result_;  // Esc while the screen was being taken
  if (PlacesOwnWindows()) {
    show();
  } else {
    showFullScreen();  // on the monitor the desktop chooses, which it shares
  }
  raise();
  desktop_.shell.ProcessEventsUntil([this] { return result_ != ModalResult::None; });
  return result_;
}

void TFreeHandWindow::Close(ModalResult result) {
  if (result_ == ModalResult::None) result_ = result;
  QToolTip::hideText();
  hide();
}

double TFreeHandWindow::PictureRatio() const {
  if (PlacesOwnWindows() || width() <= 0) return devicePixelRatio();
  return static_cast<double>(snapshot_.width()) / width();
}

// Painted in the still image's pixels: the image one to one, the lines one pixel wide.
void TFreeHandWindow::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const double ratio = PictureRatio();
  painter.setWorldTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
  const QRect area = ScaledCover(event->rect(), ratio);
  painter.drawImage(area, snapshot_, area);
  for (int i = 0; i < 4; ++i) {
    const GuideLine& line = state_.Lines()[static_cast<std::size_t>(i)];
    const QRect place = LineRect(i, line);
    if (line.visible && place.intersects(area)) painter.fillRect(place, kLineColour);
  }
}

QRect TFreeHandWindow::LineRect(int index, const GuideLine& line) const {
  const bool vertical = index == FreeHandState::kAnchorX || index == FreeHandState::kCurrentX;
  return vertical ? QRect(line.at, 0, 1, snapshot_.height())
                  : QRect(0, line.at, snapshot_.width(), 1);
}

void TFreeHandWindow::RepaintLines(const std::array<GuideLine, 4>& before) {
  for (int i = 0; i < 4; ++i) {
    const GuideLine& was = before[static_cast<std::size_t>(i)];
    const GuideLine& now = state_.Lines()[static_cast<std::size_t>(i)];
    if (was == now) continue;
    if (was.visible) update(ScaledCover(LineRect(i, was), 1.0 / PictureRatio()));
    if (now.visible) update(ScaledCover(LineRect(i, now), 1.0 / PictureRatio()));
  }
}

Point TFreeHandWindow::CursorAt(const QMouseEvent* event) const {
  if (!PlacesOwnWindows()) {
    // The window covers the shared monitor, wherever the desktop put it.
    const QPointF picture = event->position() * PictureRatio();
    return Point{std::clamp(static_cast<int>(picture.x()), 0, std::max(snapshot_.width() - 1, 0)),
                 std::clamp(static_cast<int>(picture.y()), 0, std::max(snapshot_.height() - 1, 0))};
  }
  const QPoint device = DevicePoint(*this, event->globalPosition(), [this] {
    const Point pointer = desktop_.cursor.Position();
    return QPoint(pointer.x, pointer.y);
  });
  return Point{device.x(), device.y()};
}

void TFreeHandWindow::mousePressEvent(QMouseEvent* event) {
  const std::array<GuideLine, 4> before = state_.Lines();
  QToolTip::hideText();
  const FreeHandState::Press press =
      state_.MouseDown(event->button() == Qt::LeftButton,
                       event->modifiers().testFlag(Qt::ControlModifier), CursorAt(event));
  if (press == FreeHandState::Press::Confirm) {
    Close(ModalResult::Ok);
    return;
  }
  RepaintLines(before);
}

void TFreeHandWindow::mouseMoveEvent(QMouseEvent* event) {
  const std::array<GuideLine, 4> before = state_.Lines();
  state_.MouseMove(CursorAt(event));
  RepaintLines(before);
  // Qt would draw each carriage return as a blank at the start of the next line; the lines
  // show flush left when only the line feeds are handed over.
  QString text = QString::fromStdString(state_.Tooltip());
  text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

void TFreeHandWindow::keyPressEvent(QKeyEvent* event) {
  // Only where the desktop gives the window keys: elsewhere Esc is the engine's hot key.
  if (event->key() == Qt::Key_Escape) {
    Close(ModalResult::Cancel);
    return;
  }
  QWidget::keyPressEvent(event);
}

void TFreeHandWindow::mouseReleaseEvent(QMouseEvent* /*event*/) {
  const std::array<GuideLine, 4> before = state_.Lines();
  state_.MouseUp();
  RepaintLines(before);
}

}  // namespace orvenna
