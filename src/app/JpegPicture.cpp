// JPEG decoding through libjpeg.
#include "app/JpegPicture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// libjpeg's own error handler ends the process; ours jumps back to the decoder, which gives up.
// A jump rather than an exception: the library is C and has no unwind tables.
struct TErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf escape;
};

[[noreturn]] void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TErrorManager*>(info->err)->escape, 1);
}

// Warnings (a slightly damaged stream) are not worth a word: the picture is drawn as decoded.
void OnMessage(j_common_ptr) {}

// Runs the decoder between setjmp and its cleanup; nothing here may have a destructor that the
// jump would skip, so the image is filled through a plain pointer owned by the caller.
bool Decode(const QByteArray& bytes, jpeg_decompress_struct& info, QImage* image) {
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_components != 3) return false;
  *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                  QImage::Format_RGB888);
  if (image->isNull()) return false;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

// The jump lands here; this frame changes nothing after setjmp, so nothing here is clobbered.
bool DecodeOrEscape(const QByteArray& bytes, jpeg_decompress_struct& info, TErrorManager& errors,
                    QImage* image) {
  if (setjmp(errors.escape) != 0) return false;
  return Decode(bytes, info, image);
}

}  // namespace

QImage DecodeJpeg(const QByteArray& bytes) {
  if (bytes.isEmpty()) return {};
  QImage image;
  jpeg_decompress_struct info;
  TErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.output_message = OnMessage;
  jpeg_create_decompress(&info);
  const bool ok = DecodeOrEscape(bytes, info, errors, &image);
  jpeg_destroy_decompress(&info);
  return ok ? image : QImage();
}
