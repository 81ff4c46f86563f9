// Decodes a JPEG image held in memory with libjpeg.
#pragma once

#include <QByteArray>
#include <QImage>

// The decoded picture in 24-bit RGB (grey pictures come out grey in RGB); a null image when the
// bytes are not a JPEG image libjpeg can read.
QImage DecodeJpeg(const QByteArray& bytes);
