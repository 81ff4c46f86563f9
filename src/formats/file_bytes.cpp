// Whole-file reads and safe whole-file writes, through Qt's file classes.
#include "formats/file_bytes.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

#include "formats/prefault.h"
#include "scene/error.h"

namespace {

[[noreturn]] void Fail(const char* action, const std::string& fileName, const QString& reason) {
  const std::string why = reason.toStdString();
  throw FileError(std::string("Cannot ") + action + " file \"" + fileName + "\": " + why, fileName,
                  why);
}

}  // namespace

std::string ShownFileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return path;
  return path.substr(slash + 1);
}

FileContents ReadFileBytes(const std::string& fileName, uint64_t maxBytes,
                           const FilePieceSink& onPiece) {
  const QString name = QFile::decodeName(fileName.c_str());
  // A missing file and a folder are left to the open, which names the reason.
  const QFileInfo info(name);
  if (info.exists() && !info.isDir() && !info.isFile()) {
    Fail("open", fileName, "it is not a regular file");
  }
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    Fail("open", fileName, file.errorString());
  }
  const qint64 size = file.size();
  if (size < 0 || static_cast<uint64_t>(size) > maxBytes) {
    Fail("open", fileName, QString("it is larger than %1 bytes").arg(maxBytes));
  }
  FileContents contents;
  contents.data = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(size));
  contents.size = static_cast<size_t>(size);
  constexpr size_t kPiece = size_t{1} << 20;
  for (size_t done = 0; done < contents.size;) {
    const size_t piece = std::min(kPiece, contents.size - done);
    char* at = reinterpret_cast<char*>(contents.data.get()) + done;
    Prefault(at, piece);
    const qint64 n = file.read(at, static_cast<qint64>(piece));
    if (n < 0) Fail("read", fileName, file.errorString());
    // A file cut short while it is read would be read as a shorter one, which it never was.
    if (n == 0) Fail("read", fileName, "it became shorter while it was read");
    if (onPiece) onPiece(std::string_view(at, static_cast<size_t>(n)));
    done += static_cast<size_t>(n);
  }
  return contents;
}

void ReplaceFileBytes(const std::string& fileName, std::span<const uint8_t> bytes) {
  // QSaveFile writes a temporary file beside the target, syncs it to disk on commit and only
  // then renames it over the target; on any failure it removes the temporary file. It never
  // falls back to writing the target in place (no direct-write fallback).
  QSaveFile file(QFile::decodeName(fileName.c_str()));
  // Unbuffered: a write that fails only when a buffer is flushed at commit goes unnoticed by
  // this Qt's QSaveFile, which would then put a cut-short file in place of the old one.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    Fail("save", fileName, file.errorString());
  }
  // A short write is tried again for the rest: the retry meets the failure itself (a full disk,
  // a size limit) and so reports its reason.
  const char* data = reinterpret_cast<const char*>(bytes.data());
  const qint64 size = static_cast<qint64>(bytes.size());
  for (qint64 done = 0; done < size;) {
    const qint64 n = file.write(data + done, size - done);
    if (n <= 0) {
      const QString reason = file.errorString();
      file.cancelWriting();
      Fail("save", fileName, reason);
    }
    done += n;
  }
  if (!file.commit()) Fail("save", fileName, file.errorString());
}
