// The frame as a picture file: a Windows BMP (what "Save Image As" writes) or a PNG. Both go to
// disk through the one safe replace every file the program writes goes through.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QImage;

enum class PictureFormat { Bmp, Png };

// The picture save dialog's filters, counted from 1: BMP first (and chosen when the dialog
// opens), then PNG.
constexpr int kBmpPictureFilter = 1;
constexpr int kPngPictureFilter = 2;

// What a picture saved under `fileName` is written as: a name ending ".png" or ".bmp", in any
// letter case, says it whatever filter was chosen; any other name follows `filterIndex`.
PictureFormat PictureFormatFor(const std::string& fileName, int filterIndex);

// The frame as the bytes of a picture file. Throws KestrelError with the reason alone (no file
// name) for a frame without pixels or one too large for the format.
std::vector<uint8_t> PictureBytes(const QImage& frame, PictureFormat format);

// Writes the frame as a picture file through ReplaceFileBytes (formats/file_bytes.h): a failure
// leaves any old file as it was, and KestrelError names the file and gives the reason.
void SavePictureFile(const QImage& frame, const std::string& fileName, PictureFormat format);
