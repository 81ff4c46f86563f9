// Files read whole into memory and written whole from memory; a write never destroys the file
// it replaces. Every reader reads its file through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "scene/error.h"

// A file that cannot be read or written: KestrelError's text names the file and the reason, and
// both are kept apart for a message that shows them its own way.
class FileError : public KestrelError {
 public:
  FileError(const std::string& text, std::string fileName, std::string reason)
      : KestrelError(text), fileName_(std::move(fileName)), reason_(std::move(reason)) {}
  const std::string& FileName() const { return fileName_; }
  // What the system (or the check that refused the file) says, as "No such file or directory".
  const std::string& Reason() const { return reason_; }

 private:
  std::string fileName_;
  std::string reason_;
};

// How a message names a file: its last part, without the folders it lies in.
std::string ShownFileName(const std::string& path);

// A whole file in one block of exactly its size.
struct FileContents {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;

  std::span<const uint8_t> Bytes() const { return {data.get(), size}; }
  std::string_view Text() const { return {reinterpret_cast<const char*>(data.get()), size}; }
};

// Sees each piece of a file as it is read, in order; together the pieces are the whole file.
using FilePieceSink = std::function<void(std::string_view piece)>;

// The whole of a regular file, read a megabyte at a time into one block. The block is taken
// uninitialised (the read writes every byte, and zeroing a large file costs time) and each
// piece's pages in one call before the read writes them. `onPiece`, when given, sees each piece
// right after it was read, while it is still in the cache: a pass of its own over a large file
// would fetch all of it from memory once more.
//
// Throws FileError naming the file and the reason when it is not a regular file (a device or
// a pipe has no size to trust, and opening a pipe would wait for a writer), cannot be opened or
// read, ends before the size it had when it was opened, or holds more than `maxBytes` (checked
// before anything is read).
FileContents ReadFileBytes(const std::string& fileName, uint64_t maxBytes,
                           const FilePieceSink& onPiece = {});

// Creates or replaces the file with `bytes`. The bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over the target, so the old file stays
// whole until the new one is. On failure the temporary file is removed, the old file is as it
// was, and FileError names the file and the reason.
void ReplaceFileBytes(const std::string& fileName, std::span<const uint8_t> bytes);
