// Files read whole into memory and written whole from memory; a write never destroys the file
// it replaces. Every reader reads its file through here, and every file the program writes is
// written through here.
//
// File names are bytes, handed to the system exactly as they came (from the command line, or
// from the window's dialogs through the local 8-bit encoding): a name that is not valid UTF-8
// still names its own file and no other.
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

// Throws KestrelError ("Cannot open file "NAME": REASON") unless `fileName` names a regular
// file, without opening it: opening a FIFO waits for a writer that may never come, and opening a
// device may act on it. For readers whose library opens the file by its name.
void RequireRegularFile(const std::string& fileName);

// A read-only descriptor of the regular file `fileName`, for the caller to close. Anything else
// is refused as RequireRegularFile refuses it, before it is opened; the open itself never waits
// (should a FIFO have taken the name meanwhile), and the file is checked again once open.
int OpenRegularFile(const std::string& fileName);

// The whole of a regular file, read a megabyte at a time into one block. The block is taken
// uninitialised (the read writes every byte, and zeroing a large file costs time) and each
// piece's pages in one call before the read writes them. `onPiece`, when given, sees each piece
// right after it was read, while it is still in the cache: a pass of its own over a large file
// would fetch all of it from memory once more.
//
// Throws FileError naming the file and the reason when it is not a regular file, cannot be
// opened or read, ends before the size it had when it was opened, or holds more than `maxBytes`
// (checked before anything is read); NotEnoughMemory (memory_budget.h) when its size is more
// than the process can hold.
FileContents ReadFileBytes(const std::string& fileName, uint64_t maxBytes,
                           const FilePieceSink& onPiece = {});

// The same file and the same checks, but never held whole: read a megabyte at a time into one
// buffer used again for every piece, each shown to `onPiece` (which must take what it needs
// from it) as it is read. Returns the file's size, which the pieces make up together.
uint64_t StreamFileBytes(const std::string& fileName, uint64_t maxBytes,
                         const FilePieceSink& onPiece);

// Creates or replaces the file with `bytes`. A symbolic link is followed to the file it names.
// A regular file (or none) is replaced whole: the bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over the target, so the old file stays whole
// until the new one is, and of several writers at once one wins whole. Anything else that is
// there (a device, a FIFO, a socket) is written in place, never renamed over. Every write, the
// flush and the close are checked: on failure the temporary file is removed, the old file is as
// it was, and FileError ("Cannot save file "NAME": REASON") gives the system's reason.
void ReplaceFileBytes(const std::string& fileName, std::span<const uint8_t> bytes);

// Writes all of `bytes` to the open descriptor `fd` (standard output, for "-o -"), every write
// checked; KestrelError ("Cannot write to WHAT: REASON") gives the system's reason.
void WriteAllBytes(int fd, std::span<const uint8_t> bytes, const std::string& what);

// Fails as ReplaceFileBytes would before its first byte (no such folder, no permission), so that
// a long job can stop before it starts. Leaves nothing behind.
void CheckReplaceable(const std::string& fileName);
