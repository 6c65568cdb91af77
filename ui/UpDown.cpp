#include "ui/UpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

namespace orvenna {
namespace {

constexpr int kWidth = 17;
constexpr int kLargestMax = 32767;

QToolButton* NewArrow(QWidget* parent, Qt::ArrowType arrow) {
  auto* button = new QToolButton(parent);
  button->setArrowType(arrow);
  button->setAutoRepeat(true);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

}  // namespace

TUpDown::TUpDown(QLineEdit* associate, int max)
    : QWidget(associate->parentWidget()),
      associate_(associate),
      up_(NewArrow(this, Qt::UpArrow)),
      down_(NewArrow(this, Qt::DownArrow)) {
  SetMax(max);
  const QRect field = associate->geometry();
  setGeometry(field.right() + 1, field.top(), kWidth, field.height());
  const int half = field.height() / 2;
  up_->setGeometry(0, 0, kWidth, half);
  down_->setGeometry(0, half, kWidth, field.height() - half);
  connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
  associate->installEventFilter(this);
}

void TUpDown::SetMax(int max) {
  max_ = std::clamp(max, 0, kLargestMax);
}

void TUpDown::Step(int delta) {
  bool isNumber = false;
  const int shown = associate_->text().toInt(&isNumber);
  if (isNumber) position_ = shown;
  position_ = std::clamp(position_ + delta, 0, max_);
  associate_->setText(QString::number(position_));
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == associate_ && event->type() == QEvent::KeyPress && isEnabled()) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      Step(key == Qt::Key_Up ? +1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace orvenna
