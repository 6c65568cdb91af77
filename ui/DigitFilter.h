#pragma once

#include <QObject>

class QLineEdit;

namespace orvenna {

// Keeps typed characters other than the digits 0 to 9 and backspace out of a text field.
// Keys that type nothing (arrows, Delete) and editing shortcuts such as Ctrl+V pass, so a
// pasted text can still hold other characters. UI thread only.
class DigitFilter final : public QObject {
 public:
  // Filters the keys typed into `field`; the filter belongs to the field.
  static void Attach(QLineEdit* field);

  // Whether a typed character reaches the field.
  static bool Passes(QChar typed);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using QObject::QObject;
};

}  // namespace orvenna
