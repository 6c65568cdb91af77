#include "ui/PreviewImage.h"

#include <QPainter>
#include <cstdlib>

namespace orvenna {
namespace {

QImage::Format FormatOf(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 8:
      return QImage::Format_Indexed8;
    case 16:
      return QImage::Format_RGB555;  // little-endian 5-5-5 words, as the bitmap holds them
    case 24:
      return QImage::Format_BGR888;
    case 32:
      return QImage::Format_RGB32;  // bytes B, G, R, unused
    default:
      return QImage::Format_Invalid;
  }
}

}  // namespace

QImage PreviewToImage(const PreviewBitmap& bitmap) {
  const QImage::Format format = FormatOf(bitmap.BitsPerPixel());
  const int width = bitmap.Width();
  const int height = std::abs(bitmap.Height());
  if (format == QImage::Format_Invalid || width <= 0 || height <= 0) return {};

  // A view of the bitmap's rows; copy() and mirrored() below make the image its own.
  const QImage view(bitmap.Pixels(), width, height, static_cast<qsizetype>(bitmap.RowBytes()),
                    format);
  QImage image = bitmap.Height() > 0 ? view.mirrored(false, true) : view.copy();
  if (format == QImage::Format_Indexed8) {
    QList<QRgb> table;
    const RgbQuad* entries = bitmap.ColourTable();
    for (int i = 0; i < 256; ++i)
      table.push_back(qRgb(entries[i].red, entries[i].green, entries[i].blue));
    image.setColorTable(table);
  }
  return image;
}

TImage::TImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TImage::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  const QSize fitted = picture_.size().scaled(size(), Qt::KeepAspectRatio);
  QRect target(QPoint(0, 0), fitted);
  target.moveCenter(rect().center());
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, picture_);
}

}  // namespace orvenna
