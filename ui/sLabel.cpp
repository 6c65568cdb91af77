#include "ui/sLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace orvenna {

TsCustomLabel::TsCustomLabel(QWidget* parent) : QLabel(parent) {
  setAutoFillBackground(false);
}

TsWebLabel::TsWebLabel(QWidget* parent) : TsCustomLabel(parent) {
  font_ = {font(), palette().color(QPalette::WindowText)};
  hoverFont_ = font_;
  setCursor(Qt::PointingHandCursor);
}

void TsWebLabel::SetFont(const TsLabelFont& font) {
  font_ = font;
  update();
}

void TsWebLabel::SetHoverFont(const TsLabelFont& font) {
  hoverFont_ = font;
  if (hovered_) update();
}

void TsWebLabel::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  TsCustomLabel::enterEvent(event);
}

void TsWebLabel::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  TsCustomLabel::leaveEvent(event);
}

void TsWebLabel::paintEvent(QPaintEvent*) {
  const TsLabelFont& current = hovered_ ? hoverFont_ : font_;
  QPainter painter(this);
  painter.setFont(current.face);
  painter.setPen(current.colour);
  painter.drawText(contentsRect(), static_cast<int>(alignment()), text());
}

void TsWebLabel::mousePressEvent(QMouseEvent* event) {
  TsCustomLabel::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && !url_.isEmpty()) {
    QDesktopServices::openUrl(QUrl::fromUserInput(url_));
  }
}

}  // namespace orvenna
