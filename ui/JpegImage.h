#pragma once

#include <QByteArray>
#include <QImage>

namespace orvenna {

// Decodes a JPEG file held in memory with libjpeg into an RGB image. Data that libjpeg cannot
// read gives a null image; it never ends the process. Any thread.
QImage DecodeJpeg(const QByteArray& data);

}  // namespace orvenna
