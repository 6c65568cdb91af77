#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace orvenna {

class TsWebLabel;

// The about box: the product's picture, name and version, its makers and credits. Created
// once and kept hidden until shown; Ok and the close button hide it again. Not modal.
// UI thread only.
class TForm2 final : public QWidget {
 public:
  explicit TForm2(QWidget* parent = nullptr);

  void ButtonOkClick();

  QLabel* Image1;
  QLabel* ProductName;
  QLabel* Maker;
  TsWebLabel* WebAddress;
  QLabel* Contact;
  QLabel* ThanksHeading;
  QLabel* Credit1;
  QLabel* Credit2;
  QLabel* Credit3;
  QLabel* EngineSupplier;
  QLabel* Closing;
  QPushButton* ButtonOk;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool placed_ = false;  // centred on the screen at its first showing
};

}  // namespace orvenna
