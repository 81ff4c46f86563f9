// Whole-file reads and safe whole-file writes, through Qt's file classes.
#include "formats/file_bytes.h"

#include <QFile>
#include <QSaveFile>

#include "scene/error.h"

namespace {

[[noreturn]] void Fail(const char* action, const std::string& fileName, const QString& reason) {
  throw KestrelError(std::string("Cannot ") + action + " file \"" + fileName +
                     "\": " + reason.toStdString());
}

}  // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& fileName, uint64_t maxBytes) {
  QFile file(QFile::decodeName(fileName.c_str()));
  if (!file.open(QIODevice::ReadOnly)) Fail("open", fileName, file.errorString());
  const qint64 size = file.size();
  if (size < 0 || static_cast<uint64_t>(size) > maxBytes) {
    Fail("open", fileName, QString("it is larger than %1 bytes").arg(maxBytes));
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  qint64 got = 0;
  while (got < size) {
    const qint64 n = file.read(reinterpret_cast<char*>(bytes.data()) + got, size - got);
    if (n < 0) Fail("read", fileName, file.errorString());
    if (n == 0) break;
    got += n;
  }
  // A file that shrank while being read is taken as it now is.
  bytes.resize(static_cast<size_t>(got));
  return bytes;
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
