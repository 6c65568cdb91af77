#include "ui/DigitFilter.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace orvenna {

void DigitFilter::Attach(QLineEdit* field) {
  field->installEventFilter(new DigitFilter(field));
}

bool DigitFilter::Passes(QChar typed) {
  constexpr char16_t kBackspace = 8;
  if (typed.unicode() == kBackspace) return true;
  if (typed >= u'0' && typed <= u'9') return true;
  // Other control characters come from shortcuts (Ctrl+C, Ctrl+V, ...), not from typing.
  return typed.category() == QChar::Other_Control;
}

bool DigitFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const QString typed = static_cast<QKeyEvent*>(event)->text();
  for (const QChar character : typed) {
    if (!Passes(character)) return true;  // swallowed before it reaches the field
  }
  return false;
}

}  // namespace orvenna
