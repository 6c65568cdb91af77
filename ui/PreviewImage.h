#pragma once

#include <QImage>
#include <QWidget>

#include "engine/PreviewBitmap.h"

namespace orvenna {

// A top-down copy of the engine's packed preview bitmap (8 bits with its colour table,
// 16 bits 5-5-5, 24 or 32 bits); a null image for an empty bitmap or another depth.
// Any thread.
QImage PreviewToImage(const PreviewBitmap& bitmap);

// A picture scaled to fit the widget, centred and in its own proportions; without a picture
// the widget paints nothing, so what lies under it shows. UI thread only.
class TImage final : public QWidget {
 public:
  explicit TImage(QWidget* parent);

  const QImage& Picture() const { return picture_; }
  // A null image clears the picture.
  void SetPicture(QImage picture);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

}  // namespace orvenna
