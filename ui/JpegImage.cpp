#include "ui/JpegImage.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

namespace orvenna {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back
// to the decoder, which then gives up.
struct ErrorManager {
  jpeg_error_mgr standard;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// Decodes into `image`; false when libjpeg gave up. No object with a destructor lives in this
// function, since a jump back to setjmp skips destructors.
bool Decode(const QByteArray& data, jpeg_decompress_struct& info, ErrorManager& errors,
            QImage& image) {
  if (setjmp(errors.jump) != 0) return false;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_components != 3) return false;
  image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                 QImage::Format_RGB888);
  if (image.isNull()) return false;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
  if (data.isEmpty()) return {};
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.standard);
  errors.standard.error_exit = JumpOnError;
  errors.standard.output_message = IgnoreMessage;
  QImage image;
  const bool decoded = Decode(data, info, errors, image);
  jpeg_destroy_decompress(&info);
  return decoded ? image : QImage();
}

}  // namespace orvenna
