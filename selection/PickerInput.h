#pragma once

#include <QObject>

class QWidget;

namespace orvenna {

// While it lives, the application's windows other than `picker` (all of them when it is null)
// take no clicks, wheel turns or keys, as under a modal window: no second recording can be
// started while a region is picked. A modal window proper would also be given the keyboard
// focus, and a picker never takes the focus from the window the user is pointing at.
// UI thread only.
class PickerInputOnly final : public QObject {
 public:
  explicit PickerInputOnly(const QWidget* picker);
  ~PickerInputOnly() override;
  PickerInputOnly(const PickerInputOnly&) = delete;
  PickerInputOnly& operator=(const PickerInputOnly&) = delete;

 protected:
  bool eventFilter(QObject* target, QEvent* event) override;

 private:
  const QWidget* picker_;
};

}  // namespace orvenna
