#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace orvenna {

// Up and down arrows attached to a number field. A step reads the field's number, moves it
// by one within 0 and Max and writes it back as plain digits, which counts as a change of the
// field. The Up and Down keys step as well while the field has the focus and the arrows are
// enabled. UI thread only.
class TUpDown final : public QWidget {
 public:
  // Sits at the right edge of `associate`, in the same parent.
  TUpDown(QLineEdit* associate, int max);

  int Max() const { return max_; }
  // Kept within 0 and 32767, the largest 16-bit maximum.
  void SetMax(int max);
  // One press of an arrow (+1 up, -1 down).
  void Step(int delta);

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* associate_;
  QToolButton* up_;
  QToolButton* down_;
  int max_ = 0;
  int position_ = 0;  // the last number the field held, used when its text is not a number
};

}  // namespace orvenna
