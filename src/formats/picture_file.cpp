// The frame as a picture file.
//
// BMP: 14-byte file header, 40-byte information header, no colour table, 32 bits per pixel
// (blue, green, red, unused), rows bottom-up, all little-endian. The frame has no
// display-dependent form here, so every file has 32 bits per pixel. Fields are written byte by
// byte, never by dumping a struct, so the layout does not depend on the compiler's packing or
// the machine's byte order.
//
// PNG: Qt's encoder writes it into memory; only the whole file goes to disk.
#include "formats/picture_file.h"

#include <QBuffer>
#include <QImageWriter>
#include <cstdint>
#include <limits>
#include <string>

#include "formats/file_bytes.h"
#include "formats/file_kind.h"
#include "scene/scene_model.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;
constexpr uint16_t kBitsPerPixel = 32;
constexpr uint32_t kBiRgb = 0;
// 96 dots per inch, the usual screen resolution: a viewer that honours the field shows the
// picture at one file pixel per screen pixel, as the window did.
constexpr int32_t kPixelsPerMetre = 3780;

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }

 private:
  std::vector<uint8_t>& out_;
};

// Nothing in a picture file can stand for a picture without pixels; refuse rather than write a
// file most readers reject.
void CheckNotEmpty(const QImage& frame) {
  if (frame.width() <= 0 || frame.height() <= 0) {
    throw KestrelError("the picture is empty (the window is too small to show one)");
  }
}

std::vector<uint8_t> EncodeBmp(const QImage& frame) {
  const int32_t w = frame.width();
  const int32_t h = frame.height();
  const uint64_t imageSize = uint64_t{static_cast<uint32_t>(w)} * static_cast<uint32_t>(h) * 4;
  if (imageSize > std::numeric_limits<uint32_t>::max() - kPixelOffset) {
    throw KestrelError("the picture is too large for a BMP file");
  }
  const QImage pixels =
      frame.format() == QImage::Format_RGB32 ? frame : frame.convertToFormat(QImage::Format_RGB32);

  std::vector<uint8_t> out;
  out.reserve(kPixelOffset + imageSize);
  ByteWriter put(out);
  // File header.
  put.U8('B');
  put.U8('M');
  put.U32(static_cast<uint32_t>(kPixelOffset + imageSize));
  put.U16(0);
  put.U16(0);
  put.U32(kPixelOffset);
  // Information header; a positive height means the rows run bottom-up.
  put.U32(kInfoHeaderSize);
  put.I32(w);
  put.I32(h);
  put.U16(1);
  put.U16(kBitsPerPixel);
  put.U32(kBiRgb);
  put.U32(static_cast<uint32_t>(imageSize));
  put.I32(kPixelsPerMetre);
  put.I32(kPixelsPerMetre);
  put.U32(0);  // colours used: none, there is no table
  put.U32(0);  // important colours: all
  for (int32_t y = h - 1; y >= 0; --y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      put.U8(static_cast<uint8_t>(qBlue(row[x])));
      put.U8(static_cast<uint8_t>(qGreen(row[x])));
      put.U8(static_cast<uint8_t>(qRed(row[x])));
      // The frame keeps this byte 0xFF for Qt; in the file it carries nothing, and 0 keeps
      // readers that take it for alpha from seeing anything but an opaque RGB picture.
      put.U8(0);
    }
  }
  return out;
}

std::vector<uint8_t> EncodePng(const QImage& frame) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(frame)) {
    throw KestrelError("the PNG encoder failed: " + writer.errorString().toStdString());
  }
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

std::vector<uint8_t> PictureBytes(const QImage& frame, PictureFormat format) {
  CheckNotEmpty(frame);
  return format == PictureFormat::Png ? EncodePng(frame) : EncodeBmp(frame);
}

void SavePictureFile(const QImage& frame, const std::string& fileName, PictureFormat format) {
  std::vector<uint8_t> bytes;
  try {
    bytes = PictureBytes(frame, format);
  } catch (const KestrelError& e) {
    throw KestrelError("Cannot save \"" + fileName + "\": " + e.what());
  }
  ReplaceFileBytes(fileName, bytes);
}

PictureFormat PictureFormatFor(const std::string& fileName, int filterIndex) {
  const std::string extension = LowerExtension(fileName);
  if (extension == ".png") return PictureFormat::Png;
  if (extension == ".bmp") return PictureFormat::Bmp;
  return filterIndex == kPngPictureFilter ? PictureFormat::Png : PictureFormat::Bmp;
}

void TForm1::SaveImageAs1Click() {
  std::string path;
  int filterIndex = kBmpPictureFilter;
  if (!controls_.RunSaveDialog(SaveDialogKind::Picture, path, filterIndex)) return;
  SavePictureFile(FrameBitmap, path, PictureFormatFor(path, filterIndex));
}

void TForm1::SaveBitmapFile(const std::string& fileName) const {
  SavePictureFile(FrameBitmap, fileName, PictureFormat::Bmp);
}
