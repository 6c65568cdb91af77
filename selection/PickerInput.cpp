#include "selection/PickerInput.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace orvenna {

PickerInputOnly::PickerInputOnly(const QWidget* picker) : picker_(picker) {
  QCoreApplication::instance()->installEventFilter(this);
}

PickerInputOnly::~PickerInputOnly() {
  QCoreApplication::instance()->removeEventFilter(this);
}

bool PickerInputOnly::eventFilter(QObject* target, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
      // Widgets get these from their window's events, which pass here first: the widget is
      // where the decision is made.
      return target->isWidgetType() &&
             (picker_ == nullptr || static_cast<QWidget*>(target)->window() != picker_);
    default:
      return false;
  }
}

}  // namespace orvenna
